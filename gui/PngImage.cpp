#include "gui/PngImage.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace QW {

namespace {

// The editor's images are small; a header that claims more is refused before
// any row memory is allocated.
constexpr png_uint_32 kMaxSide = 8192;
constexpr size_t kMaxBytes = size_t{64} << 20;

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

// Never returns: libpng's errors go back to the setjmp in readImage, quietly
// (the caller only needs to know that the bytes are no usable PNG).
void onError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}
void onWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "truncated PNG data");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

// Owns libpng's read and info structures.
class PngReadHandle {
 public:
  PngReadHandle() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReadHandle() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  PngReadHandle(const PngReadHandle&) = delete;
  PngReadHandle& operator=(const PngReadHandle&) = delete;

  bool valid() const { return png_ && info_; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The only frame that libpng long-jumps into. Everything it fills belongs to
// the caller and it holds no object with a destructor, so the jump skips no
// clean-up. Answers false on any libpng error.
bool readImage(png_structp png, png_infop info, MemoryReader* reader, PngImage& image,
               std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, reader, readFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  image.width = static_cast<int>(png_get_image_width(png, info));
  image.height = static_cast<int>(png_get_image_height(png, info));
  image.channels = png_get_channels(png, info);
  image.bitDepth = png_get_bit_depth(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (rowBytes == 0 || rowBytes > kMaxBytes / static_cast<size_t>(image.height))
    png_error(png, "image too large");
  image.pixels.resize(rowBytes * static_cast<size_t>(image.height));
  rows.resize(static_cast<size_t>(image.height));
  for (size_t y = 0; y < rows.size(); ++y) rows[y] = image.pixels.data() + y * rowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

std::optional<PngImage> decodePng(const uint8_t* data, size_t size) {
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return std::nullopt;
  PngReadHandle handle;
  if (!handle.valid()) return std::nullopt;
  MemoryReader reader{data, size, 0};
  PngImage image;
  std::vector<png_bytep> rows;
  try {
    if (!readImage(handle.png(), handle.info(), &reader, image, rows)) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // Only 8-bit samples are of use to the editor; other depths keep their
  // description but no pixels.
  if (image.bitDepth != 8) {
    image.pixels.clear();
    image.pixels.shrink_to_fit();
  }
  return image;
}

bool uploadable(const PngImage& image) {
  const auto powerOfTwo = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
  return powerOfTwo(image.width) && powerOfTwo(image.height) &&
         (image.channels == 3 || image.channels == 4) && image.bitDepth == 8 &&
         image.pixels.size() == static_cast<size_t>(image.width) *
                                    static_cast<size_t>(image.height) *
                                    static_cast<size_t>(image.channels);
}

}  // namespace QW
