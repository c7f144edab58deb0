// The display block the effect lends to its editor. The audio thread and the
// parameter setter write it; the render thread reads it without a lock, so
// every field is a naturally aligned scalar that is written whole.
#pragma once

#include <cstdint>

struct ViewState {
  int32_t reserved[2];
  int32_t displaySizeIndex;
  uint8_t logX;
  uint8_t logY;
  float minDb;
  float maxDb;
  float minLinear;
  float maxLinear;
  float smoothing;  // milliseconds
  float inputMeter[2];
  float outputMeter[2];
  const float* rawSpectrum[2];
  const float* processedSpectrum[2];
  uint8_t guiBool[8];
};
