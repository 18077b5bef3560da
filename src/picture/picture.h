// Pictures as people edit them: PNG or BMP files read, PNG files written,
// through one image library.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <string>

// A picture's pixels from its top left, row by row, `channels` bytes each:
// red, green, blue, and alpha when there are 4.
struct Picture {
  struct Free {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
  };

  // Room for the pixels of a picture so large; false when there is none.
  bool Allocate(std::uint32_t width, std::uint32_t height, int channels);
  std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) const {
    return pixels.get() + (std::size_t{y} * width + x) * static_cast<std::size_t>(channels);
  }

  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int channels = 4;
  std::unique_ptr<std::uint8_t, Free> pixels;  // as the library allocates them
};

// The size of the picture `file` holds, without decoding it; false, with
// the library's reason, when it is none the library reads.
bool PictureSize(std::span<const std::uint8_t> file, std::uint32_t* width, std::uint32_t* height,
                 std::string* reason);

// Decodes `file` to 4 channels, or to 3 when it has no alpha; false with the
// library's reason.
bool LoadPicture(std::span<const std::uint8_t> file, Picture* picture, std::string* reason);

// Encodes `picture` as PNG and hands the file's bytes to `write`, maybe in
// pieces; false when the library or `write` fails.
bool WritePng(const Picture& picture, const std::function<bool(std::span<const std::uint8_t>)>& write);
