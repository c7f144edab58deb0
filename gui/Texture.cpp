#include "gui/Texture.h"

#include <GL/glew.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "gui/PngImage.h"
#include "platform/Diagnostics.h"
#include "platform/Resources.h"

namespace QW {

namespace {

std::optional<std::vector<uint8_t>> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    platform::showError("cannot open image \"" + path + "\": " + std::strerror(errno));
    return std::nullopt;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) {
    platform::showError("cannot read image \"" + path + "\"");
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::vector<uint8_t>> readResource(int id) {
  const platform::EmbeddedResource* resource = platform::findResource(platform::kImageResource, id);
  if (!resource || !resource->data) {
    // The text Windows gives for a missing module resource, with the id.
    platform::showError("The specified resource name cannot be found in the image file. (image " +
                        std::to_string(id) + ")");
    return std::nullopt;
  }
  return std::vector<uint8_t>(resource->data, resource->data + resource->size);
}

unsigned int upload(const PngImage& image) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  // Rows of RGB images narrower than four pixels are not 4-byte multiples.
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const bool rgba = image.channels == 4;
  glTexImage2D(GL_TEXTURE_2D, 0, image.channels, image.width, image.height, 0,
               rgba ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, image.pixels.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, 0);
  return name;
}

}  // namespace

void Texture::load() {
  if (loadAttempted) return;
  loadAttempted = true;
  const std::optional<std::vector<uint8_t>> bytes =
      path.empty() ? readResource(resourceId) : readFile(path);
  if (!bytes) return;
  const std::optional<PngImage> image = decodePng(bytes->data(), bytes->size());
  // Images of other shapes or formats stay unloaded without a word.
  if (!image || !uploadable(*image)) return;
  glName = upload(*image);
  width = image->width;
  height = image->height;
}

void Texture::release() {
  if (glName != 0) {
    const GLuint name = glName;
    glDeleteTextures(1, &name);
  }
  glName = 0;
  loadAttempted = false;
}

}  // namespace QW
