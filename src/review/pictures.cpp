#include "pictures.h"

#include <algorithm>
#include <functional>
#include <new>

#include "../cli/report.h"
#include "../cli/texts.h"
#include "../convert/job.h"
#include "../os/paths.h"
#include "../picture/canvas.h"
#include "../picture/png_encoder.h"
#include "../picture/png_output.h"

namespace {

// The marks: a tint that lets the new colours show through, and an outline
// of a colour few pictures have next to it.
constexpr Rgba kTint{255, 0, 160, 150};
constexpr Rgba kOutline{0, 230, 255, kOpaque};
constexpr std::size_t kRgbaBytes = 4;

// An RGBA picture of `width` x `height` whose pixel i is `colours[marks[i]]`.
Error WriteMarks(OutputTarget& target, std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& marks,
                 const Rgba (&colours)[2], std::span<std::uint8_t> buffer) {
  BufferedOutput out(target, buffer);
  SystemError failed;
  const auto fill = [&](std::uint32_t y, std::uint8_t* row) {
    for (std::uint32_t x = 0; x < width; ++x)
      std::copy_n(colours[marks[std::size_t{y} * width + x]].begin(), kRgbaBytes, row + kRgbaBytes * x);
  };
  const auto write = [&](std::span<const std::uint8_t> bytes) { return !(failed = out.Put(bytes)); };
  bool outOfMemory = false;
  if (WritePng({width, height, PngForm::Colours::kTrueColourAlpha}, fill, write, &outOfMemory) && !(failed = out.Flush()))
    return {};
  return outOfMemory ? Error{Status::kOutOfMemory} : Error{Status::kIoError, Step::kWriteOutput, failed};
}

// Each pixel of `after` that shows another colour than in `before`, or lies
// beyond it, as 1; the others 0.
std::vector<std::uint8_t> Changes(const Canvas& before, const Canvas& after, ReviewedCarrier& carrier) {
  std::vector<std::uint8_t> changed(std::size_t{after.Width()} * after.Height());
  for (std::uint32_t y = 0; y < after.Height(); ++y) {
    for (std::uint32_t x = 0; x < after.Width(); ++x) {
      if (x < before.Width() && y < before.Height() && before.Get(x, y) == after.Get(x, y)) continue;
      changed[std::size_t{y} * after.Width() + x] = 1;
      ++carrier.changed;
      carrier.box.Add(x, y);
    }
  }
  return changed;
}

// The unchanged pixels next to changed ones, as 1, so that the changed ones show as they are.
std::vector<std::uint8_t> Outline(const std::vector<std::uint8_t>& changed, std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> ring(changed.size());
  const auto at = [&](std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < width && y < height && changed[static_cast<std::size_t>(y * width + x)];
  };
  for (std::int64_t y = 0; y < height; ++y) {
    for (std::int64_t x = 0; x < width; ++x) {
      if (at(x, y)) continue;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) near = at(x + dx, y + dy);
      ring[static_cast<std::size_t>(y * width + x)] = near;
    }
  }
  return ring;
}

}  // namespace

NativeString ReviewPictureName(std::size_t number, const char* kind) {
  return kReviewPictures + NativeString(NATIVE_TEXT("/")) + Number(static_cast<long long>(number)) + NATIVE_TEXT("-") +
         NativeString(kind, kind + std::char_traits<char>::length(kind)) + NATIVE_TEXT(".png");
}

void WriteReviewPictures(Platform& os, const NativeString& folder, std::vector<std::uint8_t>& before,
                         std::vector<std::uint8_t>& after, ReviewedCarrier& carrier, std::span<std::uint8_t> buffer) {
  BitmapRows beforeRows, afterRows;
  FindBitmapRows(before, before.size(), &beforeRows);
  FindBitmapRows(after, after.size(), &afterRows);
  Canvas was, is;
  if (was.Open(before, beforeRows) != Canvas::Trouble::kNone || is.Open(after, afterRows) != Canvas::Trouble::kNone) {
    carrier.problem = Say(Text::kReviewNoPictures);
    return;
  }
  carrier.width = was.Width(), carrier.height = was.Height();
  carrier.newWidth = is.Width(), carrier.newHeight = is.Height();
  try {
    const std::vector<std::uint8_t> changed = Changes(was, is, carrier);
    const std::vector<std::uint8_t> ring = Outline(changed, is.Width(), is.Height());
    const std::function<Error(OutputTarget&)> makers[] = {
        [&](OutputTarget& target) { return WritePngOutput(before, beforeRows, target, buffer); },
        [&](OutputTarget& target) { return WritePngOutput(after, afterRows, target, buffer); },
        [&](OutputTarget& target) { return WriteMarks(target, is.Width(), is.Height(), changed, {{}, kTint}, buffer); },
        [&](OutputTarget& target) { return WriteMarks(target, is.Width(), is.Height(), ring, {{}, kOutline}, buffer); }};
    for (std::size_t i = 0; i < std::size(makers); ++i) {
      const NativeString path = JoinPath(folder, ReviewPictureName(carrier.number, kReviewKinds[i]));
      if (const Error error = MakeOutput(os, {path, NATIVE_TEXT("")}, makers[i], {}, nullptr)) {
        carrier.problem = error.status == Status::kOutOfMemory ? Say(Text::kOutOfMemory)
                                                               : Because(Say(Text::kCannotWrite, {path}), error.cause);
        return;
      }
    }
  } catch (const std::bad_alloc&) {
    carrier.problem = Say(Text::kOutOfMemory);
    return;
  }
  carrier.pictures = true;
}
