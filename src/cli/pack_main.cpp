// quillane-pack: puts edited pictures back into their carriers, the way
// back from quillane-convert: each carrier takes the PNG or BMP picture made
// of it, in the carried bitmap's own form, and is replaced in one step.

#ifndef _WIN32
#include <clocale>
#endif

#include "../convert/file_io.h"
#include "../os/system.h"
#include "../picture/pack_writer.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "run.h"
#include "texts.h"

namespace {

const Command kPack{
    "quillane-pack", "[-rnqv] [-j N] [--nearest] [--from DIR] [-o DIR] CARRIER...",
    "Puts the picture made of each carrier GIF back into it: CARRIER.png or\n"
    "CARRIER.bmp, as quillane-convert writes them, edited or not. The picture must\n"
    "keep the bitmap's size and, for a palette, its colours; only the pixels change.\n"
    "Problems are reported on standard error, one line each.\n"
    "\n"
    "  -r, --recursive       pack every .gif or .GIF file inside CARRIERs that are folders\n"
    "      --from DIR        take the pictures from DIR, where quillane-convert -o DIR\n"
    "                        wrote them, instead of beside each CARRIER\n"
    "  -o, --output-dir DIR  write the new carriers into DIR, created if missing, and\n"
    "                        leave the CARRIERs as they are; with -r, the folders below\n"
    "                        each folder CARRIER are made again in DIR\n"
    "      --nearest         store a colour the carrier's palette lacks as the palette's\n"
    "                        nearest colour (CIELAB), and say how many pixels and how far\n"
    "  -n, --dry-run         check every picture as packing would; write nothing\n"
    "  -j, --jobs N          pack up to N carriers at once (default: one per processor)\n"
    "  -q, --quiet           print only errors\n"
    "  -v, --verbose         print CARRIER <- PICTURE for each carrier packed\n"
    "      --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Exit status: 0 all packed or unchanged, 1 some carrier failed, 2 usage error,\n"
    "128 + N interrupted by signal N (130: Ctrl-C).\n",
    {Flag::kRecursive, Flag::kFrom, Flag::kOutputDir, Flag::kNearest, Flag::kDryRun, Flag::kJobs, Flag::kQuiet, Flag::kVerbose,
     Flag::kHelp, Flag::kVersion}};

constexpr const NativeChar* kSameName = NATIVE_TEXT("");

// The picture made of the entry's carrier, PNG or BMP, the one changed last
// when there are both; empty when there is none, or one cannot be looked at.
NativeString FindPicture(const Options& options, Entry& entry) {
  const NativeString base = options.from.empty() ? entry.source : Mirror(options.from, entry);
  const NativeString png = base + kPngSuffix, bmp = base + kBmpSuffix;
  const Result<std::int64_t> pngTime = ModifiedTime(png), bmpTime = ModifiedTime(bmp);
  // Only a picture that is not there is missing.
  for (const auto& [picture, time] : {std::pair{&png, &pngTime}, std::pair{&bmp, &bmpTime}}) {
    if (time->Ok() || NoSuchFile(time->error)) continue;
    entry.problem = Because(Say(Text::kCannotReadPicture, {*picture}), time->error);
    return {};
  }
  if (!pngTime.Ok() && !bmpTime.Ok()) entry.problem = Say(Text::kNoPicture, {png, bmp});
  if (!pngTime.Ok()) return bmpTime.Ok() ? bmp : NativeString();
  return !bmpTime.Ok() || pngTime.value >= bmpTime.value ? png : bmp;
}

// A colour as editors write it: rrggbb in hexadecimal.
NativeString Hex(Rgba colour) {
  NativeString text;
  for (int i = 0; i < 3; ++i) {
    for (int shift = 4; shift >= 0; shift -= 4) text += NATIVE_TEXT("0123456789abcdef")[colour[i] >> shift & 15];
  }
  return text;
}

// Why the picture could not be read, in words.
NativeString PictureTrouble(const PictureProblem& problem, const NativeString& picture) {
  const NativeString what = Say(Text::kCannotReadPicture, {picture});
  const auto because = [&](Text text, std::initializer_list<NativeString> values = {}) {
    return what + NATIVE_TEXT(": ") + Say(text, values);
  };
  switch (problem.kind) {
    case PictureProblem::Kind::kCannotOpen:
    case PictureProblem::Kind::kCannotRead: return Because(what, problem.cause);
    case PictureProblem::Kind::kUnknownForm: return because(Text::kPictureUnknown);
    case PictureProblem::Kind::kCutShort: return because(Text::kPictureCutShort);
    case PictureProblem::Kind::kChecksum: return because(Text::kPictureChecksum);
    case PictureProblem::Kind::kDamaged:
      return because(Text::kPictureDamaged, {NativeString(problem.detail.begin(), problem.detail.end())});
    case PictureProblem::Kind::kChanged: return because(Text::kPictureChanged);
    case PictureProblem::Kind::kOutOfMemory: return because(Text::kOutOfMemory);
    case PictureProblem::Kind::kWrongSize:
    case PictureProblem::Kind::kNone: break;
  }
  return what;
}

NativeString RefusalText(const PackReport& report, const NativeString& picture, const BitmapInfo& bitmap) {
  const PixelTally& pixels = report.pixels;
  switch (report.why) {
    case PackReport::Why::kPicture:
      if (report.picture.kind != PictureProblem::Kind::kWrongSize) return PictureTrouble(report.picture, picture);
      return Say(Text::kWrongSize, {picture, Number(report.picture.width), Number(report.picture.height),
                                    Number(bitmap.width), Number(bitmap.height < 0 ? -std::int64_t{bitmap.height} : bitmap.height)});
    case PackReport::Why::kTransparent:
    case PackReport::Why::kOffPalette:
      return Say(report.why == PackReport::Why::kTransparent ? Text::kTransparent : Text::kOffPalette,
                 {Number(static_cast<long long>(pixels.count)), picture, Number(pixels.x), Number(pixels.y)});
    case PackReport::Why::kCarrierChanged: return Say(Text::kCarrierChanged);
    case PackReport::Why::kNotStorable:
    case PackReport::Why::kNone: break;
  }
  return Say(Text::kCannotStoreBack, {BitmapTrouble(bitmap)});
}

Outcome Pack(NativePlatform& os, const Options& options, Entry& entry, Workspace& workspace) {
  if (!PrepareOutput(options, entry)) return {};
  entry.picture = FindPicture(options, entry);
  if (entry.picture.empty()) return {};
  if (!workspace.Ready()) return {{Status::kOutOfMemory}};
  PackWriter writer(os, entry.picture, entry.inPlace, options.nearest, workspace.gathering(), workspace.writing());
  Outcome outcome = RunJob(os, {entry.source, entry.base, kSameName, options.checkOnly}, writer, workspace.reading());
  const auto* report = dynamic_cast<const PackReport*>(outcome.report.get());
  if (!report) return outcome;
  if (outcome.error.status == Status::kRefused) {
    entry.problem = RefusalText(*report, entry.picture, outcome.bitmap);
    for (const OffColour& off : report->offColours)
      entry.details.push_back(Say(Text::kOffColour, {Hex(off.colour), Number(static_cast<long long>(off.pixels)),
                                                     Number(off.nearest), Hex(off.nearestColour), Decimal(off.deltaE)}));
  }
  outcome.unchanged = report->changed == 0;
  entry.mapped = report->mapped;
  entry.largestDeltaE = report->largestDeltaE;
  return outcome;
}

BatchWork Work(const Options& options, NativePlatform& os) {
  return {kSameName, [&](Entry& entry, Workspace& workspace) { return Pack(os, options, entry, workspace); },
          [](const Entry& entry) {
            if (entry.outcome.unchanged) return Say(Text::kUnchanged, {entry.source, entry.picture});
            if (entry.mapped == 0) return Say(Text::kPacked, {entry.base, entry.picture});
            return Say(Text::kPackedMapped, {entry.base, entry.picture, Number(static_cast<long long>(entry.mapped)),
                                             Decimal(entry.largestDeltaE)});
          },
          [&](const Plan& plan, const Tally& tally) {
            std::size_t unchanged = 0;
            std::uint64_t mapped = 0;
            double largestDeltaE = 0;
            for (const Entry& entry : plan.entries) {
              if (!entry.problem.empty() || entry.outcome.error || entry.notStarted) continue;
              unchanged += entry.outcome.unchanged;
              mapped += entry.mapped;
              largestDeltaE = std::max(largestDeltaE, entry.largestDeltaE);
            }
            // Carriers only: the other files met are told apart.
            const std::size_t carriers = plan.entries.size();
            NativeString summary =
                Say(options.checkOnly ? Text::kPackSummaryChecked : Text::kPackSummary,
                    {Number(carriers), Number(carriers - tally.failed - tally.notStarted - unchanged), Number(unchanged),
                     Number(tally.failed)}) + Interrupted(tally);
            if (!plan.skipped.empty())
              summary += Say(Text::kOtherSkipped, {Number(static_cast<long long>(plan.skipped.size()))});
            if (mapped > 0) summary += Say(Text::kSummaryMapped, {Number(static_cast<long long>(mapped)), Decimal(largestDeltaE)});
            return summary;
          },
          Text::kFolderToPack,
          [](const Entry& entry) {
            // A picture named for its carrier: the name without the picture's suffix.
            for (const NativeChar* suffix : {kPngSuffix, kBmpSuffix}) {
              const NativeString carrier = entry.source.substr(0, entry.source.size() - NativeString(suffix).size());
              if (entry.source.ends_with(suffix) && HasCarrierExtension(carrier))
                return Say(Text::kPictureNamed, {carrier});
            }
            return NativeString();
          }};
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return RunCommand(kPack, {argv + 1, argv + argc}, Work); }
#else
int main(int argc, char** argv) {
  // The system's reasons for failures come in the user's language.
  std::setlocale(LC_ALL, "");
  return RunCommand(kPack, {argv + 1, argv + argc}, Work);
}
#endif
