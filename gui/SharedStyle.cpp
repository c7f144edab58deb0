#include "gui/SharedStyle.h"

#include <mutex>

namespace QW {

namespace {

std::mutex styleMutex;
Colour groupActive{0.5f, 0.8f, 1.0f, 0.6f};
Colour groupInactive{0.5f, 0.5f, 0.5f, 0.5f};
Colour bannerText{0.5f, 0.5f, 0.5f, 1.0f};

Colour read(const Colour& c) {
  std::lock_guard<std::mutex> lock(styleMutex);
  return c;
}

void write(Colour& target, Colour c) {
  std::lock_guard<std::mutex> lock(styleMutex);
  target = c;
}

}  // namespace

Colour SharedStyle::groupActiveColour() {
  return read(groupActive);
}
Colour SharedStyle::groupInactiveColour() {
  return read(groupInactive);
}
Colour SharedStyle::bannerTextColour() {
  return read(bannerText);
}
void SharedStyle::setGroupActiveColour(Colour c) {
  write(groupActive, c);
}
void SharedStyle::setGroupInactiveColour(Colour c) {
  write(groupInactive, c);
}
void SharedStyle::setBannerTextColour(Colour c) {
  write(bannerText, c);
}

}  // namespace QW
