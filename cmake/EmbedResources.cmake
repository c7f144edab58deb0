# Generates a C++ source with every file named in resources/resources.list as
# a byte array, so the plug-in carries its scripts and images inside the .so.
# Run as a script: cmake -DLIST=... -DSOURCE_DIR=... -DOUTPUT=... -P this file
file(STRINGS ${LIST} lines)
set(arrays "")
set(entries "")
set(index 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  separate_arguments(fields UNIX_COMMAND "${line}")
  list(GET fields 0 name)
  list(GET fields 1 type)
  list(GET fields 2 id)
  file(READ ${SOURCE_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kData${index}[] = {${bytes} 0};\n")
  string(APPEND entries "    {\"${name}\", ${type}, ${id}, kData${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from resources/resources.list; do not edit.
#include \"platform/Resources.h\"

namespace platform {
namespace {
${arrays}
const EmbeddedResource kResources[] = {
${entries}};
}  // namespace

const EmbeddedResource* embeddedResources(size_t* count) {
  *count = sizeof kResources / sizeof kResources[0];
  return kResources;
}

}  // namespace platform
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.tmp ${OUTPUT})
