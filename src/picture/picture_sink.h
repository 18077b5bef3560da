// What reading a picture gives: its form, its pixels as they are read, and
// why it could not be read whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "../convert/platform.h"
#include "pixels.h"

// The bitmap a picture goes into, as reading the picture needs to know it.
struct PictureTarget {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool alpha = false;          // it holds alpha, which a 32-bit BMP's fourth bytes may then give
  // Its header names an alpha mask over uncompressed pixels, which the
  // converter does not show as alpha, so a picture's named one is not either.
  bool alphaUnused = false;
  std::uint64_t rowBytes = 0;  // its row, which bounds what a picture's rows may take in memory
};

// A picture's form, as its header tells it.
struct PictureInfo {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool indexed = false;       // pixels come as palette indices, else as RGBA
  bool alpha = false;         // its pixels say how opaque they are; else each shows opaque, meaning nothing
  std::vector<Rgba> palette;  // the colours of the indices, transparency included
};

// Pixels x, x + step, x + 2 x step ... of row y, counted from the top left:
// `count` of them, one byte each when indexed, else four.
struct PixelRun {
  std::uint32_t y = 0;
  std::uint32_t x = 0;
  std::uint32_t step = 1;
  std::uint32_t count = 0;
  const std::uint8_t* pixels = nullptr;
};

// Takes a picture's pixels as they are read, each exactly once, in any order.
class PictureSink {
 public:
  virtual void Begin(const PictureInfo& info) = 0;
  virtual void Accept(const PixelRun& run) = 0;

 protected:
  ~PictureSink() = default;
};

// Why a picture was not read whole.
struct PictureProblem {
  enum class Kind {
    kNone,
    kCannotOpen,    // `cause` says why
    kCannotRead,    // `cause` says why
    kUnknownForm,   // neither PNG nor a BMP form this reads
    kCutShort,
    kChecksum,      // a chunk's CRC or the image data's Adler-32
    kDamaged,       // `detail` says how, in the reader's words
    kChanged,       // another program changed the file while it was read
    kWrongSize,     // `width` x `height` is the picture's size
    kUnsupported,   // a BMP form the format defines and this does not read: `bmp`
    kRowsTooLarge,  // reading its rows at its depth takes `rowMemory`, over `rowLimit`
    kOutOfMemory,
  };
  PictureProblem() = default;
  PictureProblem(Kind kind, SystemError cause = {}) : kind(kind), cause(cause) {}
  static PictureProblem Damaged(std::string how) {
    PictureProblem problem(Kind::kDamaged);
    problem.detail = std::move(how);
    return problem;
  }
  static PictureProblem WrongSize(std::uint32_t width, std::uint32_t height) {
    PictureProblem problem(Kind::kWrongSize);
    problem.width = width;
    problem.height = height;
    return problem;
  }
  static PictureProblem Unsupported(const BmpHeader& header) {
    PictureProblem problem(Kind::kUnsupported);
    problem.bmp = UnsupportedForm(header);
    problem.depth = header.depth;
    problem.compression = header.compression;
    return problem;
  }
  static PictureProblem RowsTooLarge(std::uint64_t memory, std::uint64_t limit) {
    PictureProblem problem(Kind::kRowsTooLarge);
    problem.rowMemory = memory;
    problem.rowLimit = limit;
    return problem;
  }

  Kind kind = Kind::kNone;
  SystemError cause;
  std::string detail;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  BmpUnsupported bmp = BmpUnsupported::kNone;
  std::uint16_t depth = 0;
  std::uint32_t compression = 0;
  std::uint64_t rowMemory = 0;
  std::uint64_t rowLimit = 0;

  explicit operator bool() const { return kind != Kind::kNone; }
};

// How a picture at a path is read into a sink through a buffer: PNG or BMP
// (picture.h), or BMP alone (bmp_reader.h).
using PictureReader = PictureProblem (*)(Platform& os, const NativeString& path, const PictureTarget& target,
                                         PictureSink& sink, std::span<std::uint8_t> buffer);
