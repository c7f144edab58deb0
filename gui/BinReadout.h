// The frequency and nearest note of an FFT bin, as bin tooltips show them.
#pragma once

#include <string>

namespace QW {

// "  43.1Hz  F 1-23"-style readout of bin k of an FFT of size 32 << sizeIndex
// at sampleRate: "%6.1fHz  %s" of the frequency and the nearest note with
// octave and cents. Bin 0 reads "0Hz". sizeIndex is kept within 0..7.
std::string binReadout(int bin, int sizeIndex, float sampleRate);

}  // namespace QW
