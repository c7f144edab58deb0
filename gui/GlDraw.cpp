#include "gui/GlDraw.h"

#include <GL/gl.h>

namespace QW {
namespace gl {

namespace {

void quad(float x0, float y0, float x1, float y1) {
  glBegin(GL_QUADS);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
}

// Alpha blending for the lifetime of the object, off again afterwards as the
// rest of the overlay expects.
class ScopedBlend {
 public:
  ScopedBlend() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  ~ScopedBlend() { glDisable(GL_BLEND); }
  ScopedBlend(const ScopedBlend&) = delete;
  ScopedBlend& operator=(const ScopedBlend&) = delete;
};

}  // namespace

void setColour(const Colour& colour) {
  glColor4f(colour.r, colour.g, colour.b, colour.a);
}

void fillQuad(float x0, float y0, float x1, float y1, const Colour& colour) {
  setColour(colour);
  quad(x0, y0, x1, y1);
}

void blendQuad(float x0, float y0, float x1, float y1, const Colour& colour) {
  const ScopedBlend blend;
  setColour(colour);
  quad(x0, y0, x1, y1);
}

void outlineRect(float x0, float y0, float x1, float y1, const Colour& colour) {
  const ScopedBlend blend;
  setColour(colour);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
}

void lineStrip(const Point* points, size_t count, const Colour& colour) {
  if (points == nullptr || count < 2) return;
  const ScopedBlend blend;
  setColour(colour);
  glBegin(GL_LINE_STRIP);
  for (size_t i = 0; i < count; ++i) glVertex2f(points[i].x, points[i].y);
  glEnd();
}

ScopedTranslation::ScopedTranslation(float x, float y, float z) {
  glPushMatrix();
  glTranslatef(x, y, z);
}

ScopedTranslation::~ScopedTranslation() {
  glPopMatrix();
}

}  // namespace gl
}  // namespace QW
