#include "colour.h"

#include <cmath>

namespace {

// sRGB's primaries and D65's white, as IEC 61966-2-1 gives them.
constexpr double kToXyz[3][3] = {{0.4124564, 0.3575761, 0.1804375},
                                 {0.2126729, 0.7151522, 0.0721750},
                                 {0.0193339, 0.1191920, 0.9503041}};
constexpr double kWhite[3] = {0.95047, 1.0, 1.08883};
constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;
// Colours remembered at most, so that a picture of every colour takes no more.
constexpr std::size_t kRemembered = 1 << 16;

double Linear(std::uint8_t channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double LabCurve(double t) { return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16) / 116; }

std::uint32_t Key(Rgba colour) { return std::uint32_t{colour[0]} << 16 | std::uint32_t{colour[1]} << 8 | colour[2]; }

}  // namespace

Lab ToLab(Rgba colour) {
  const double rgb[3] = {Linear(colour[0]), Linear(colour[1]), Linear(colour[2])};
  double f[3];
  for (int i = 0; i < 3; ++i)
    f[i] = LabCurve((kToXyz[i][0] * rgb[0] + kToXyz[i][1] * rgb[1] + kToXyz[i][2] * rgb[2]) / kWhite[i]);
  return {116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])};
}

double DeltaE(const Lab& one, const Lab& other) {
  return std::sqrt((one.l - other.l) * (one.l - other.l) + (one.a - other.a) * (one.a - other.a) +
                   (one.b - other.b) * (one.b - other.b));
}

NearestEntry::NearestEntry(std::span<const Rgba> palette, const EntrySet& reserved) : reserved_(reserved) {
  for (const Rgba& entry : palette) palette_.push_back(ToLab(entry));
}

std::optional<NearestEntry::Found> NearestEntry::Find(Rgba colour) {
  if (const auto known = found_.find(Key(colour)); known != found_.end()) return known->second;
  const Lab lab = ToLab(colour);
  std::optional<Found> nearest;
  for (std::uint32_t i = 0; i < palette_.size(); ++i) {
    if (i < reserved_.size() && reserved_[i]) continue;
    const double deltaE = DeltaE(lab, palette_[i]);
    if (!nearest || deltaE < nearest->deltaE) nearest = Found{i, deltaE};
  }
  if (nearest && found_.size() < kRemembered) found_.emplace(Key(colour), *nearest);
  return nearest;
}
