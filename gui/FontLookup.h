// Finding font files on Linux. Layout scripts name fonts by their Windows
// file names ("tahoma.ttf", "arial.ttf"); there is no Windows fonts folder
// here, so such a name is turned into a family (and style, for the common
// Windows file names such as "arialbd.ttf") and fontconfig picks the file.
#pragma once

#include <string>

namespace QW {

struct FontRequest {
  std::string family;
  bool bold = false;
  bool italic = false;
  // Taken where family is not installed, before fontconfig's own closest
  // face, when that one would be much wider (empty: none).
  std::string standIn;
};

// The family a font file name stands for: the well-known Windows file names
// map to their family and style, any other name loses its font extension
// ("tahoma.ttf" -> "tahoma", "My Font.otf" -> "My Font").
FontRequest fontRequestForName(const std::string& name);

// The file fontconfig matches best for the request, limited to scalable
// TrueType or OpenType faces FreeType opens at index 0; empty when no
// installed font qualifies. fontconfig always answers with its closest font,
// so a family it does not know still gets the default sans-serif face.
std::string matchFontFile(const FontRequest& request);

}  // namespace QW
