#include "gui/BinReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace QW {

std::string binReadout(int bin, int sizeIndex, float sampleRate) {
  if (bin == 0) return "0Hz";
  static const char* const kNames[12] = {"C ", "C#", "D ", "D#", "E ", "F ",
                                         "F#", "G ", "G#", "A ", "A#", "B "};
  const int size = 32 << std::clamp(sizeIndex, 0, 7);
  // Single precision throughout: an exact 440 Hz then reads as A 4+0, not
  // as a hair below it.
  const float frequency = static_cast<float>(bin) * sampleRate / static_cast<float>(size);
  float note = 12.0f * std::log2(frequency * 0.0022727272f) + 69.0f;
  if (!(note >= 0.0f)) note = 0.0f;
  // Keeps the conversion to int defined for absurd rates.
  note = std::min(note, 1000.0f);
  const int nearest = static_cast<int>(note + 0.5f);
  const float cents = (note - static_cast<float>(nearest)) * 100.0f;
  char noteText[32];
  std::snprintf(noteText, sizeof noteText, "%s%d%+.0f", kNames[nearest % 12], nearest / 12 - 1,
                static_cast<double>(cents));
  char text[96];
  std::snprintf(text, sizeof text, "%6.1fHz  %s", static_cast<double>(frequency), noteText);
  return text;
}

}  // namespace QW
