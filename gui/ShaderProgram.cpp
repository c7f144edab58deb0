#include "gui/ShaderProgram.h"

#include <GL/glew.h>

#include <vector>

#include "platform/Diagnostics.h"

namespace QW {

namespace {

std::string shaderLog(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), nullptr, log.data());
  return log.data();
}

std::string programLog(GLuint program) {
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetProgramInfoLog(program, static_cast<GLsizei>(log.size()), nullptr, log.data());
  return log.data();
}

GLuint compile(const char* what, GLenum stage, const char* source) {
  const GLuint shader = glCreateShader(stage);
  if (shader == 0) return 0;
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    platform::debugOutput(std::string(what) +
                          (stage == GL_VERTEX_SHADER ? ": vertex" : ": fragment") +
                          " shader does not compile:\n" + shaderLog(shader));
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

ShaderProgram::~ShaderProgram() {
  release();
}

bool ShaderProgram::available() {
  return GLEW_VERSION_2_0 != 0;
}

bool ShaderProgram::build(const char* what, const char* vertexSource, const char* fragmentSource) {
  release();
  if (!available()) return false;
  if (vertexSource && (vertex_ = compile(what, GL_VERTEX_SHADER, vertexSource)) == 0) {
    release();
    return false;
  }
  if (fragmentSource && (fragment_ = compile(what, GL_FRAGMENT_SHADER, fragmentSource)) == 0) {
    release();
    return false;
  }
  program_ = glCreateProgram();
  if (program_ == 0) {
    release();
    return false;
  }
  if (vertex_) glAttachShader(program_, vertex_);
  if (fragment_) glAttachShader(program_, fragment_);
  glLinkProgram(program_);
  GLint ok = GL_FALSE;
  glGetProgramiv(program_, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    platform::debugOutput(std::string(what) + ": program does not link:\n" + programLog(program_));
    release();
    return false;
  }
  return true;
}

void ShaderProgram::release() {
  if (program_ != 0) {
    if (vertex_) glDetachShader(program_, vertex_);
    if (fragment_) glDetachShader(program_, fragment_);
    glDeleteProgram(program_);
  }
  if (vertex_) glDeleteShader(vertex_);
  if (fragment_) glDeleteShader(fragment_);
  vertex_ = fragment_ = program_ = 0;
}

int ShaderProgram::uniformLocation(const char* uniform) const {
  return program_ != 0 ? glGetUniformLocation(program_, uniform) : -1;
}

}  // namespace QW
