#include "gui/KeptUnderlays.h"

#include <GL/glew.h>

#include <algorithm>

namespace QW {

namespace {

bool contains(PixelRect outer, PixelRect inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

void deleteObjects(const unsigned int& framebuffer, const unsigned int& texture) {
  if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
  if (texture != 0) glDeleteTextures(1, &texture);
}

}  // namespace

void KeptUnderlays::beginWholeFrame() {
  for (Underlay& u : underlays_) u.marked = u.kept = false;
}

void KeptUnderlays::endWholeFrame() {
  const auto unmarked = std::remove_if(underlays_.begin(), underlays_.end(), [](Underlay& u) {
    if (u.marked) return false;
    deleteObjects(u.framebuffer, u.texture);
    return true;
  });
  underlays_.erase(unmarked, underlays_.end());
}

void KeptUnderlays::mark(const void* owner, PixelRect rect, bool copyNow) {
  if (rect.empty() || !(GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object)) return;
  auto it = std::find_if(underlays_.begin(), underlays_.end(),
                         [owner](const Underlay& u) { return u.owner == owner; });
  if (it == underlays_.end()) {
    underlays_.push_back(Underlay{});
    it = underlays_.end() - 1;
    it->owner = owner;
  }
  it->rect = rect;
  it->marked = true;
  it->kept = copyNow && copy(*it);
}

bool KeptUnderlays::copy(Underlay& u) {
  const Size size{u.rect.width, u.rect.height};
  if (u.texture == 0) glGenTextures(1, &u.texture);
  glBindTexture(GL_TEXTURE_2D, u.texture);
  if (!(u.size == size)) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width, size.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    if (u.framebuffer == 0) glGenFramebuffers(1, &u.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, u.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, u.texture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    u.size = complete ? size : Size{};
    if (!complete) {
      glBindTexture(GL_TEXTURE_2D, 0);
      return false;
    }
  }
  // From the window's back buffer, as drawn so far in this frame.
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, u.rect.x, u.rect.y, size.width, size.height);
  glBindTexture(GL_TEXTURE_2D, 0);
  return true;
}

const void* KeptUnderlays::containing(PixelRect part, bool& kept) const {
  for (const Underlay& u : underlays_) {
    if (u.marked && contains(u.rect, part)) {
      kept = u.kept;
      return u.owner;
    }
  }
  kept = false;
  return nullptr;
}

void KeptUnderlays::restore(const void* owner) const {
  for (const Underlay& u : underlays_) {
    if (u.owner != owner || !u.kept) continue;
    const PixelRect& r = u.rect;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, u.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, r.width, r.height, r.x, r.y, r.x + r.width, r.y + r.height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return;
  }
}

void KeptUnderlays::release() {
  for (const Underlay& u : underlays_) deleteObjects(u.framebuffer, u.texture);
  underlays_.clear();
}

}  // namespace QW
