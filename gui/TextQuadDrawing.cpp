#include "gui/TextQuadDrawing.h"

#include <GL/glew.h>

#include "gui/Font.h"

namespace QW {

TextQuadDrawing::TextQuadDrawing(const Font* font) {
  if (!font) return;
  const Font::Atlas atlas = font->uploadAtlas();
  if (atlas.texture == 0 || atlas.width <= 0 || atlas.height <= 0) return;
  ready_ = true;

  glBindTexture(GL_TEXTURE_2D, atlas.texture);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  // Texture coordinates are texels; the texture matrix makes them 0..1 for
  // the atlas's current size.
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  previousMatrixMode_ = mode;
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glScalef(1.0f / static_cast<float>(atlas.width), 1.0f / static_cast<float>(atlas.height), 1.0f);
  glMatrixMode(static_cast<GLenum>(previousMatrixMode_));
}

TextQuadDrawing::~TextQuadDrawing() {
  if (!ready_) return;
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(previousMatrixMode_));
  // The arrays point into memory the caller owns; leaving them enabled would
  // let another piece of code's glDrawArrays read it.
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
}

void TextQuadDrawing::draw(const float* vertices, int first, int count) const {
  if (!ready_ || !vertices || count <= 0) return;
  glInterleavedArrays(GL_T2F_V3F, 0, vertices);
  glDrawArrays(GL_QUADS, first, count);
}

}  // namespace QW
