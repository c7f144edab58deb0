# The editor: an X11 child window drawn with OpenGL (GLX) and GLEW. Include
# after the veldrana_objects, veldrana_core and Veldrana targets exist.
find_package(X11 REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(GLEW REQUIRED)
# Text: FTGL texture fonts over FreeType, fonts found through fontconfig.
# Images: PNG through libpng.
pkg_check_modules(FTGL REQUIRED IMPORTED_TARGET ftgl)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
find_package(PNG REQUIRED)

# libX11 1.7 and later let a client survive a lost server connection.
include(CheckSymbolExists)
set(CMAKE_REQUIRED_INCLUDES ${X11_INCLUDE_DIR})
set(CMAKE_REQUIRED_LIBRARIES ${X11_X11_LIB})
check_symbol_exists(XSetIOErrorExitHandler X11/Xlib.h VELDRANA_HAVE_X_IO_EXIT_HANDLER)
unset(CMAKE_REQUIRED_INCLUDES)
unset(CMAKE_REQUIRED_LIBRARIES)
if(VELDRANA_HAVE_X_IO_EXIT_HANDLER)
  target_compile_definitions(veldrana_objects PRIVATE VELDRANA_HAVE_X_IO_EXIT_HANDLER)
endif()

set(VELDRANA_GUI_LIBS PkgConfig::FTGL PkgConfig::FREETYPE PkgConfig::FONTCONFIG PNG::PNG GLEW::GLEW OpenGL::GLU OpenGL::GL
  OpenGL::GLX X11::X11)
target_link_libraries(veldrana_objects PUBLIC ${VELDRANA_GUI_LIBS})
target_link_libraries(veldrana_core PUBLIC ${VELDRANA_GUI_LIBS})
target_link_libraries(Veldrana PRIVATE ${VELDRANA_GUI_LIBS})
