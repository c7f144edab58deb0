#include "gui/GlyphAtlasTexture.h"

#include <GL/glew.h>

#include "gui/GlyphAtlas.h"

namespace QW {

unsigned int GlyphAtlasTexture::upload(const GlyphAtlas& atlas) {
  if (uploaded_ && revision_ == atlas.revision()) return name_;
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  if (name_ == 0) {
    GLuint name = 0;
    glGenTextures(1, &name);
    name_ = name;
    if (name_ == 0) return 0;
    width_ = height_ = 0;
  }
  glBindTexture(GL_TEXTURE_2D, name_);
  GLint unpackAlignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (width_ != atlas.width() || height_ != atlas.height()) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, atlas.width(), atlas.height(), 0, GL_ALPHA,
                 GL_UNSIGNED_BYTE, atlas.pixels().data());
    width_ = atlas.width();
    height_ = atlas.height();
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, atlas.width(), atlas.height(), GL_ALPHA,
                    GL_UNSIGNED_BYTE, atlas.pixels().data());
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  uploaded_ = true;
  revision_ = atlas.revision();
  return name_;
}

void GlyphAtlasTexture::release() {
  if (name_ != 0) {
    const GLuint name = name_;
    glDeleteTextures(1, &name);
  }
  name_ = 0;
  uploaded_ = false;
  width_ = height_ = 0;
}

}  // namespace QW
