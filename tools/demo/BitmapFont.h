// A 5x7 pixel font for printable ASCII with two rows below the baseline for
// descenders, enough to label a plot without a font library.
#pragma once

namespace demo {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 9;
constexpr int kGlyphAscent = 7;

// Rows of '#' (ink) and '.' (paper), top to bottom; unknown characters get
// a box.
const char* const* glyphRows(char c);

}  // namespace demo
