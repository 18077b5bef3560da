#include "picture.h"

#include <algorithm>

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
  PictureProblem problem;
  if (signature.size() == sizeof png::kSignature && starts(png::kSignature))
    problem = ReadPng(file, target, sink);
  else if (signature.size() >= sizeof bmp::kSignature && starts(bmp::kSignature))
    problem = ReadBmp(file, target, sink);
  else  // a file that ends in a signature is one cut short
    problem = {starts(png::kSignature) || starts(bmp::kSignature) ? PictureProblem::Kind::kCutShort
                                                               : PictureProblem::Kind::kUnknownForm};
  return problem ? problem : file.Finish();
}
