#include "picture.h"

#include <algorithm>
#include <cstring>

#include "bmp_reader.h"
#include "picture_file.h"
#include "png_format.h"
#include "png_reader.h"

PictureProblem ReadPicture(Platform& os, const NativeString& path, const PictureTarget& target, PictureSink& sink,
                           std::span<std::uint8_t> buffer) {
  PictureFile file(os, buffer);
  if (PictureProblem problem = file.Open(path)) return problem;
  const std::span<const std::uint8_t> signature = file.Peek(sizeof png::kSignature);
  const auto starts = [&](std::span<const std::uint8_t> expected) {
    return std::equal(signature.begin(), signature.begin() + std::min(signature.size(), expected.size()), expected.begin());
  };
  constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
  PictureProblem problem;
  if (signature.size() == sizeof png::kSignature && starts(png::kSignature))
    problem = ReadPng(file, target, sink);
  else if (signature.size() >= sizeof kBmpSignature && starts(kBmpSignature))
    problem = ReadBmp(file, target, sink);
  else  // a file that ends in a signature is one cut short
    problem = {starts(png::kSignature) || starts(kBmpSignature) ? PictureProblem::Kind::kCutShort
                                                               : PictureProblem::Kind::kUnknownForm};
  return problem ? problem : file.Finish();
}

PictureProblem MatchPicture(Platform& os, const NativeString& path, std::uint64_t size, const ExpectedBytes& expected,
                            bool* same, std::span<std::uint8_t> buffer) {
  // Half the buffer reads the file, the other half holds what it must say.
  const std::size_t half = buffer.size() / 2;
  PictureFile file(os, buffer.first(half));
  std::span<std::uint8_t> read = buffer.subspan(half, half / 2), want = buffer.subspan(half + half / 2, half / 2);
  if (PictureProblem problem = file.Open(path)) return problem;
  *same = file.Size() == size;
  for (std::uint64_t at = 0; *same && at < size; at += read.size()) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(read.size(), size - at));
    if (PictureProblem problem = file.Read(read.data(), piece)) return problem;
    expected(at, want.first(piece));
    *same = std::memcmp(read.data(), want.data(), piece) == 0;
  }
  return *same ? file.Finish() : PictureProblem{};
}
