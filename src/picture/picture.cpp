// The image library is stb_image and stb_image_write, built here with the
// readers people's editors save pictures in, PNG and BMP, and no others, and
// with zlib to compress.

#include "picture.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#include <zlib.h>

namespace {

// Runs of one colour, the most a game's art has to give, found fast: a
// picture takes about what zlib's best takes, in a fraction of the time.
constexpr int kPngLevel = 6;
constexpr int kStrategy = Z_RLE;
constexpr int kWindowBits = 15, kMinWindowBits = 9;
constexpr int kMemoryLevel = 8;

// stb_image_write's own deflate allocates for every byte it looks at, and
// says so; zlib's compresses as well many times faster.
unsigned char* Deflate(unsigned char* data, int size, int* compressed, int) {
  // Runs need no window of 32 KiB, which zlib sets up for every picture.
  int windowBits = kMinWindowBits;
  while (windowBits < kWindowBits && (1 << windowBits) < size) ++windowBits;
  z_stream stream{};
  if (deflateInit2(&stream, kPngLevel, Z_DEFLATED, windowBits, kMemoryLevel, kStrategy) != Z_OK) return nullptr;
  const uLong room = deflateBound(&stream, static_cast<uLong>(size));
  auto* out = static_cast<unsigned char*>(std::malloc(room));
  stream.next_in = data;
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(room);
  const bool done = out && deflate(&stream, Z_FINISH) == Z_STREAM_END;
  deflateEnd(&stream);
  if (done) {
    *compressed = static_cast<int>(stream.total_out);
    return out;
  }
  std::free(out);
  return nullptr;
}

}  // namespace

#define STBIW_ZLIB_COMPRESS Deflate
#define STBIW_CRC32(buffer, length) crc32(0, buffer, static_cast<uInt>(length))
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

namespace {

constexpr int kRgb = 3, kRgba = 4;
// Paeth on every row: within a few per cent of the best filter for each,
// which stb_image_write would find by trying all five on every row.
constexpr int kPngFilter = 4;
[[maybe_unused]] const int kFilterChosen = stbi_write_force_png_filter = kPngFilter;

bool Fits(std::span<const std::uint8_t> file) { return file.size() <= static_cast<std::size_t>(INT_MAX); }

struct Writing {
  const std::function<bool(std::span<const std::uint8_t>)>& write;
  bool written = true;
};

void Written(void* context, void* data, int size) {
  auto& writing = *static_cast<Writing*>(context);
  if (writing.written)
    writing.written = writing.write({static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)});
}

}  // namespace

bool Picture::Allocate(std::uint32_t x, std::uint32_t y, int n) {
  width = x;
  height = y;
  channels = n;
  const std::uint64_t size = std::uint64_t{x} * y * static_cast<std::uint64_t>(n);
  pixels.reset(size <= SIZE_MAX / 2 ? static_cast<std::uint8_t*>(std::malloc(size ? size : 1)) : nullptr);
  return pixels != nullptr;
}

bool PictureSize(std::span<const std::uint8_t> file, std::uint32_t* width, std::uint32_t* height,
                 std::string* reason) {
  int x, y, channels;
  if (!Fits(file) || !stbi_info_from_memory(file.data(), static_cast<int>(file.size()), &x, &y, &channels)) {
    *reason = Fits(file) ? stbi_failure_reason() : "too large";
    return false;
  }
  // A top-down BMP tells its height negative.
  *width = static_cast<std::uint32_t>(x);
  *height = static_cast<std::uint32_t>(y < 0 ? -static_cast<std::int64_t>(y) : y);
  return true;
}

bool LoadPicture(std::span<const std::uint8_t> file, Picture* picture, std::string* reason) {
  if (!Fits(file)) {
    *reason = "too large";
    return false;
  }
  const int size = static_cast<int>(file.size());
  int x, y, found;
  // Decoded with alpha only where the file has it: grey and alpha, or RGBA.
  const int channels = stbi_info_from_memory(file.data(), size, &x, &y, &found) && found % 2 ? kRgb : kRgba;
  stbi_uc* pixels = stbi_load_from_memory(file.data(), size, &x, &y, &found, channels);
  if (!pixels) {
    *reason = stbi_failure_reason();
    return false;
  }
  picture->width = static_cast<std::uint32_t>(x);
  picture->height = static_cast<std::uint32_t>(y);
  picture->channels = channels;
  picture->pixels.reset(pixels);  // the library allocates with malloc
  return true;
}

bool WritePng(const Picture& picture, const std::function<bool(std::span<const std::uint8_t>)>& write) {
  if (picture.width > INT_MAX || picture.height > INT_MAX ||
      std::uint64_t{picture.width} * picture.channels > INT_MAX)
    return false;
  Writing writing{write};
  const int stride = static_cast<int>(picture.width * picture.channels);
  const int done = stbi_write_png_to_func(Written, &writing, static_cast<int>(picture.width),
                                          static_cast<int>(picture.height), picture.channels,
                                          picture.pixels.get(), stride);
  return done && writing.written;
}
