// 8-bit images as they go into a PNG file, and the small bits of vector
// maths the drawings share.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace imagegen {

// Components 0..1; RGB images ignore alpha.
struct Colour {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;
};

struct Vec3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator*(const Vec3& a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline float dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 normalized(const Vec3& v) {
  const float length = std::sqrt(dot(v, v));
  return length > 0.0f ? v * (1.0f / length) : Vec3{0.0f, 0.0f, 1.0f};
}

inline float clamp01(float v) {
  return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
inline float mix(float a, float b, float t) {
  return a + (b - a) * t;
}
inline float smoothstep(float edge0, float edge1, float x) {
  const float t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}

// A tangent-space normal (x right, y up on screen, z towards the viewer) as
// a normal map stores it: n * 0.5 + 0.5, so a flat texel reads (128, 128, 255).
inline Colour encodeNormal(const Vec3& n, float alpha = 1.0f) {
  return {n.x * 0.5f + 0.5f, n.y * 0.5f + 0.5f, n.z * 0.5f + 0.5f, alpha};
}

class Image {
 public:
  // channels: 3 (RGB) or 4 (RGBA). Starts black and, with alpha, transparent.
  Image(int width, int height, int channels);

  int width() const { return width_; }
  int height() const { return height_; }
  int channels() const { return channels_; }
  // Row y counts from the top, as rows are stored in the file.
  const uint8_t* row(int y) const { return &pixels_[static_cast<size_t>(y) * width_ * channels_]; }

  void set(int x, int y, const Colour& colour);
  void fill(const Colour& colour);

 private:
  int width_;
  int height_;
  int channels_;
  std::vector<uint8_t> pixels_;
};

}  // namespace imagegen
