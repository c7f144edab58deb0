// veldrana-imagegen: draws the editor's images, the control atlas
// (buttons.png), the background tile (bgtile.png) and the normal map of each
// (buttons_n.png, bgtile_n.png), into a directory. The results are
// committed under resources/; regenerate them with
//
//   veldrana-imagegen resources
//
// Every random choice comes from fixed seeds, so an unchanged drawing
// rewrites byte-identical files. It builds with the project (CMake target
// veldrana-imagegen) or alone, from the repository's root:
//
//   g++ -std=c++17 -O2 -Wall -Wextra -I. tools/imagegen/*.cpp -lpng -o veldrana-imagegen
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

#include "tools/imagegen/BackgroundTile.h"
#include "tools/imagegen/ButtonAtlas.h"
#include "tools/imagegen/PngFile.h"

namespace {

void run(const std::filesystem::path& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error)
    throw std::runtime_error("cannot create " + directory.string() + ": " + error.message());

  const imagegen::ButtonAtlas atlas = imagegen::drawButtonAtlas();
  imagegen::writePng(atlas.colour, (directory / "buttons.png").string());
  imagegen::writePng(atlas.normals, (directory / "buttons_n.png").string());

  const imagegen::BackgroundTile tile = imagegen::drawBackgroundTile();
  imagegen::writePng(tile.colour, (directory / "bgtile.png").string());
  imagegen::writePng(tile.normals, (directory / "bgtile_n.png").string());
}

constexpr const char* kUsage =
    "Usage: veldrana-imagegen OUTPUT_DIR\n"
    "Writes buttons.png, buttons_n.png, bgtile.png and bgtile_n.png into OUTPUT_DIR.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string argument = argc == 2 ? argv[1] : "";
  if (argument == "-h" || argument == "--help") {
    std::cout << kUsage;
    return 0;
  }
  if (argument.empty() || argument[0] == '-') {
    std::cerr << "Error: expected one argument, the output directory\n" << kUsage;
    return 2;
  }
  try {
    run(argument);
  } catch (const std::exception& e) {
    std::cerr << "Error: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
