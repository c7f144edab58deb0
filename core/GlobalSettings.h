// Process-wide settings shared by every instance of the effect: one
// instance's preferences change them for all. Read by other threads without
// a lock, hence atomics.
#pragma once

#include <atomic>
#include <cstdint>

namespace QW {

struct GlobalSettings {
  static std::atomic<int32_t> oscBasePort;
  // Whether the OSC port listens on every interface rather than only on
  // 127.0.0.1: remote control from other machines is a deliberate choice.
  static std::atomic<bool> oscOpenToNetwork;
  static std::atomic<bool> eyeCandy;
  static std::atomic<bool> constantRedraw;
  static std::atomic<bool> floatingTooltip;
};

// Preference names.
inline constexpr const char* kPrefOscBasePort = "OSC Base Port";
inline constexpr const char* kPrefOscOpenToNetwork = "OSC Open To Network";
inline constexpr const char* kPrefEyeCandy = "Enable eye candy";
inline constexpr const char* kPrefConstantRedraw = "Enable constant redraw";
inline constexpr const char* kPrefFloatingTooltip = "Enable floating tooltip";
inline constexpr const char* kPrefSkin = "Skin";
inline constexpr int32_t kDefaultOscBasePort = 7000;

}  // namespace QW
