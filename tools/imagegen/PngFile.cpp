#include "tools/imagegen/PngFile.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace imagegen {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// libpng's write and info structures, freed together whatever stage writing
// reached. libpng reports errors by longjmp, so the message is kept here for
// the code that catches it.
class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) {
      // The destructor does not run for a constructor that throws.
      png_destroy_write_struct(&png_, &info_);
      throw std::runtime_error("out of memory for libpng");
    }
  }
  ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  const char* message() const { return message_; }

 private:
  static void onError(png_structp png, png_const_charp message) {
    auto* self = static_cast<PngWriter*>(png_get_error_ptr(png));
    std::snprintf(self->message_, sizeof self->message_, "%s", message);
    png_longjmp(png, 1);
  }
  // Warnings (none expected for plain 8-bit images) would only be noise.
  static void onWarning(png_structp, png_const_charp) {}

  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  char message_[256] = "unknown libpng error";
};

// libpng's errors jump back to the setjmp below, past any destructor, so
// this function owns nothing that needs one.
bool encode(const PngWriter& writer, FILE* file, const Image& image, png_bytep* rows) {
  if (setjmp(png_jmpbuf(writer.png()))) return false;
  png_init_io(writer.png(), file);
  png_set_compression_level(writer.png(), 9);
  png_set_IHDR(writer.png(), writer.info(), static_cast<png_uint_32>(image.width()),
               static_cast<png_uint_32>(image.height()), 8,
               image.channels() == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(writer.png(), writer.info());
  png_write_image(writer.png(), rows);
  png_write_end(writer.png(), writer.info());
  return true;
}

}  // namespace

void writePng(const Image& image, const std::string& path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));

  PngWriter writer;
  std::vector<png_bytep> rows(static_cast<size_t>(image.height()));
  for (int y = 0; y < image.height(); ++y)
    rows[static_cast<size_t>(y)] = const_cast<png_bytep>(image.row(y));
  if (!encode(writer, file.get(), image, rows.data()))
    throw std::runtime_error("cannot write " + path + ": " + writer.message());

  // A full disk may only show when the buffered tail is flushed.
  if (std::fclose(file.release()) != 0)
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace imagegen
