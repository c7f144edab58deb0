// A GLSL program built from a vertex and/or a fragment stage (either may be
// missing: the fixed-function pipeline then does that stage). Render thread
// only; the GL objects are released with the program, or earlier by
// release() while the context is still current.
#pragma once

#include <string>

namespace QW {

class ShaderProgram {
 public:
  ShaderProgram() = default;
  ~ShaderProgram();
  ShaderProgram(const ShaderProgram&) = delete;
  ShaderProgram& operator=(const ShaderProgram&) = delete;

  // Whether the context runs GLSL programs (GL 2.0 shader objects); needs
  // an initialised extension loader.
  static bool available();

  // Compiles and links; on a failure the info log goes to the debug output
  // (prefixed by what) and nothing is kept, so callers fall back to plain
  // texturing.
  bool build(const char* what, const char* vertexSource, const char* fragmentSource);
  // Detaches and deletes the shaders and the program.
  void release();

  bool valid() const { return program_ != 0; }
  unsigned int name() const { return program_; }
  // -1 when the program has no such active uniform.
  int uniformLocation(const char* uniform) const;

 private:
  unsigned int vertex_ = 0;
  unsigned int fragment_ = 0;
  unsigned int program_ = 0;
};

}  // namespace QW
