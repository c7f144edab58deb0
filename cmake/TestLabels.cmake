# gtest_discover_tests hands its PROPERTIES to set_tests_properties through a
# generated script that flattens lists, so a discovered test keeps only the
# first of several labels. The labels are therefore set by a script of our
# own that ctest runs after the discovery script, from the list of test
# names the discovery leaves behind.
#
# Groups: unit (links the code), dlopen (through the shipped .so), alloc
# (the allocation-free audio path), torture (the host torture test), tools
# (veldrana-host and the demo tools), fuzz (fuzz targets), and gl on every
# test that draws with OpenGL, whichever group it is in.
include(GoogleTest)

set(VELDRANA_GL_TESTS
  "^(Editor[A-Za-z]*|[A-Za-z]*Drawing|HostEditor|HostTorture)[.]|^Lifecycle[.][A-Za-z]*Editor")

function(veldrana_discover_tests target)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  string(REPLACE ";" " " labels "${ARGN}")
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake")
  file(WRITE "${script}"
    "foreach(test IN LISTS ${target}_TESTS)\n"
    "  set(labels ${labels})\n"
    "  if(test MATCHES \"${VELDRANA_GL_TESTS}\")\n"
    "    list(APPEND labels gl)\n"
    "  endif()\n"
    "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"\${labels}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()
