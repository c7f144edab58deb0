#include "gui/FontLookup.h"

#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

#include "gui/Font.h"

namespace QW {
namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isReadableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), R_OK) == 0;
}

struct WindowsFontFile {
  const char* stem;
  const char* family;
  bool bold;
  bool italic;
};

// fontconfig takes DejaVu Sans for Tahoma, which is as wide as Verdana;
// Tahoma is a narrowed Verdana whose figures are as wide as Arial's, so
// layouts made for it (a field that holds "-160.0" at 12 pixels) keep their
// texts inside their boxes with Arial's metric twin.
constexpr const char* kTahomaStandIn = "Liberation Sans";

// The file names of the Windows core fonts do not all spell their family
// ("cour", "arialbd"); these are the ones layout scripts are likely to name.
constexpr std::array<WindowsFontFile, 28> kWindowsFontFiles{{
    {"arial", "Arial", false, false},           {"arialbd", "Arial", true, false},
    {"ariali", "Arial", false, true},           {"arialbi", "Arial", true, true},
    {"tahoma", "Tahoma", false, false},         {"tahomabd", "Tahoma", true, false},
    {"verdana", "Verdana", false, false},       {"verdanab", "Verdana", true, false},
    {"verdanai", "Verdana", false, true},       {"verdanaz", "Verdana", true, true},
    {"times", "Times New Roman", false, false}, {"timesbd", "Times New Roman", true, false},
    {"timesi", "Times New Roman", false, true}, {"timesbi", "Times New Roman", true, true},
    {"cour", "Courier New", false, false},      {"courbd", "Courier New", true, false},
    {"couri", "Courier New", false, true},      {"courbi", "Courier New", true, true},
    {"georgia", "Georgia", false, false},       {"georgiab", "Georgia", true, false},
    {"segoeui", "Segoe UI", false, false},      {"segoeuib", "Segoe UI", true, false},
    {"calibri", "Calibri", false, false},       {"calibrib", "Calibri", true, false},
    {"consola", "Consolas", false, false},      {"consolab", "Consolas", true, false},
    {"trebuc", "Trebuchet MS", false, false},   {"trebucbd", "Trebuchet MS", true, false},
}};

bool isFontExtension(const std::string& extension) {
  static const std::array<const char*, 5> kExtensions{{"ttf", "otf", "ttc", "fon", "fnt"}};
  const std::string lower = lowerCase(extension);
  return std::any_of(kExtensions.begin(), kExtensions.end(),
                     [&](const char* known) { return lower == known; });
}

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};

// FreeType opens these; Type 1 and bitmap faces are left out because the
// glyph atlas and the metrics expect an outline font, and only face 0 of a
// collection, because FTGL always opens face 0.
std::string usableFile(const FcPattern* font) {
  FcBool scalable = FcFalse;
  if (FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable) return {};
  FcChar8* format = nullptr;
  if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch) return {};
  const std::string formatName(reinterpret_cast<const char*>(format));
  if (formatName != "TrueType" && formatName != "CFF") return {};
  int index = 0;
  if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch && index != 0) return {};
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return {};
  std::string path(reinterpret_cast<const char*>(file));
  return isReadableFile(path) ? path : std::string();
}

// A configuration of our own rather than fontconfig's default one: a host
// that does not use fontconfig itself unloads the library with ours, and
// the default configuration (hundreds of kilobytes) would stay behind in
// the heap every time, as only FcFini frees it and calling that would pull
// the configuration from under a host that does use it. Ours goes with the
// plug-in's static objects when it is unloaded.
struct ConfigDeleter {
  void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};

FcConfig* lookupConfig() {
  static const std::unique_ptr<FcConfig, ConfigDeleter> config(FcInitLoadConfigAndFonts());
  return config.get();
}

}  // namespace

FontRequest fontRequestForName(const std::string& name) {
  std::string stem = name;
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0 && isFontExtension(stem.substr(dot + 1))) stem.erase(dot);
  const std::string lower = lowerCase(stem);
  for (const WindowsFontFile& known : kWindowsFontFiles) {
    if (lower != known.stem) continue;
    const bool tahoma = std::string(known.family) == "Tahoma";
    return {known.family, known.bold, known.italic, tahoma ? kTahomaStandIn : ""};
  }
  return {stem, false, false, ""};
}

std::string matchFontFile(const FontRequest& request) {
  if (request.family.empty()) return {};
  FcConfig* const config = lookupConfig();
  if (!config) return {};
  std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
  if (!pattern) return {};
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(request.family.c_str()));
  // After the family, so an installed Tahoma still wins.
  if (!request.standIn.empty())
    FcPatternAddString(pattern.get(), FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(request.standIn.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  // The whole sorted list rather than the single best match: when the best
  // one is a Type 1 or bitmap face, the next usable face is still a better
  // answer than none.
  FcResult result = FcResultNoMatch;
  std::unique_ptr<FcFontSet, FontSetDeleter> fonts(
      FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
  if (!fonts) return {};
  for (int i = 0; i < fonts->nfont; ++i) {
    std::string path = usableFile(fonts->fonts[i]);
    if (!path.empty()) return path;
  }
  return {};
}

// A name that is a path (it has a '/') is only ever that file: asking
// fontconfig instead would hide a mistake in a script that means one
// particular file, and it lets a font list fall through to its next entry.
// A bare file name always gets fontconfig's closest font, even for a family
// fontconfig does not know, so the first entry of a list decides the face
// just as it would on a Windows system where the font is installed.
std::string findFontFile(const std::string& name) {
  if (name.empty()) return {};
  if (isReadableFile(name)) return name;
  if (name.find('/') != std::string::npos) return {};
  return matchFontFile(fontRequestForName(name));
}

}  // namespace QW
