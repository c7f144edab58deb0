# Lua 5.1 and oscpack, compiled from Debian's source packages (fetched into
# third_party/ by tools/fetch-third-party.sh) as position-independent static
# libraries with hidden symbols, so the plug-in carries its own private
# copies and never clashes with a host that has its own.
set(VELDRANA_THIRD_PARTY ${CMAKE_SOURCE_DIR}/third_party)

file(GLOB LUA_SOURCES ${VELDRANA_THIRD_PARTY}/lua5.1-5.1.5/src/*.c)
list(FILTER LUA_SOURCES EXCLUDE REGEX "/(lua|luac|print)\\.c$")
file(GLOB OSCPACK_SOURCES
  ${VELDRANA_THIRD_PARTY}/oscpack-1.1.0/osc/*.cpp
  ${VELDRANA_THIRD_PARTY}/oscpack-1.1.0/ip/*.cpp
  ${VELDRANA_THIRD_PARTY}/oscpack-1.1.0/ip/posix/*.cpp)
if(NOT LUA_SOURCES OR NOT OSCPACK_SOURCES)
  message(FATAL_ERROR "Lua/oscpack sources missing: run tools/fetch-third-party.sh (make deps does)")
endif()

# Debian's patched luaconf.h includes a header that only its -dev package
# installs; it names the multiarch triplet for C module paths. The plug-in
# never loads C modules, so the triplet only has to be plausible: it is made
# here in the build folder rather than taken from an installed package.
execute_process(COMMAND gcc -print-multiarch OUTPUT_VARIABLE VELDRANA_MULTIARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT VELDRANA_MULTIARCH)
  set(VELDRANA_MULTIARCH "${CMAKE_SYSTEM_PROCESSOR}-linux-gnu")
endif()
set(LUA_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/generated/lua)
file(WRITE ${LUA_GENERATED_INCLUDE}/lua5.1-deb-multiarch.h.new
  "#ifndef DEB_HOST_MULTIARCH\n#define DEB_HOST_MULTIARCH \"${VELDRANA_MULTIARCH}\"\n#endif\n")
configure_file(${LUA_GENERATED_INCLUDE}/lua5.1-deb-multiarch.h.new
  ${LUA_GENERATED_INCLUDE}/lua5.1-deb-multiarch.h COPYONLY)

add_library(veldrana_lua STATIC ${LUA_SOURCES})
target_include_directories(veldrana_lua SYSTEM PUBLIC ${VELDRANA_THIRD_PARTY}/lua5.1-5.1.5/src
  ${LUA_GENERATED_INCLUDE})
target_compile_definitions(veldrana_lua PRIVATE LUA_USE_POSIX LUA_USE_DLOPEN)
target_compile_options(veldrana_lua PRIVATE -w)
set_target_properties(veldrana_lua PROPERTIES C_VISIBILITY_PRESET hidden)
target_link_libraries(veldrana_lua PUBLIC m ${CMAKE_DL_LIBS})

add_library(veldrana_oscpack STATIC ${OSCPACK_SOURCES})
target_include_directories(veldrana_oscpack SYSTEM PUBLIC ${VELDRANA_THIRD_PARTY}/oscpack-1.1.0)
target_compile_options(veldrana_oscpack PRIVATE -w)
set_target_properties(veldrana_oscpack PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
