#include "gui/ManagerX11Bridge.h"

#include "platform/Diagnostics.h"

namespace QW {

ManagerX11Bridge::ManagerX11Bridge(platform::X11ChildWindow& window,
                                   std::function<void()> serviceWindow)
    : window_(window), service_(std::move(serviceWindow)) {}

ManagerX11Bridge::~ManagerX11Bridge() = default;

bool ManagerX11Bridge::createContext() {
  std::string whyNot;
  context_ = platform::GlxWindowContext::create(window_.id(), whyNot);
  if (!context_) {
    platform::showError(whyNot);
    return false;
  }
  return true;
}

bool ManagerX11Bridge::makeCurrent() {
  if (!context_ || window_.gone()) return false;
  return context_->makeCurrent();
}

void ManagerX11Bridge::destroyContexts() {
  // The off-screen context shares with the window's and goes first.
  offscreen_.reset();
  if (context_) context_->discardErrors();
  context_.reset();
}

bool ManagerX11Bridge::createOffscreenContext(int width, int height) {
  offscreen_.reset();
  if (!context_) return false;
  std::string whyNot;
  offscreen_ = platform::GlxOffscreenContext::create(*context_, width, height, whyNot);
  if (!offscreen_) {
    platform::showError(whyNot);
    return false;
  }
  return true;
}

bool ManagerX11Bridge::makeOffscreenCurrent() {
  return offscreen_ && offscreen_->makeCurrent();
}

bool ManagerX11Bridge::readOffscreenPixels(std::vector<unsigned char>& rgb) {
  if (!offscreen_) return false;
  offscreen_->readPixels(rgb);
  return true;
}

void ManagerX11Bridge::swapBuffers() {
  if (!context_ || window_.gone()) return;
  context_->swapBuffers();
  // The window may have gone with its parent since we looked.
  context_->discardErrors();
}

bool ManagerX11Bridge::keepsBackBuffer() {
  return context_ && context_->keepsBackBuffer();
}

void ManagerX11Bridge::takeFocus() {
  window_.takeFocus();
}

void ManagerX11Bridge::setWindowSize(int width, int height) {
  window_.resize(width, height);
}

int ManagerX11Bridge::windowHeight() {
  return window_.height();
}

void ManagerX11Bridge::serviceWindow() {
  if (service_) service_();
}

}  // namespace QW
