#include "report.h"

#include <string>

#include "../convert/bitmap_format.h"
#include "../os/system.h"
#include "texts.h"

namespace {

constexpr const NativeChar* kClearLine = NATIVE_TEXT("\r\x1b[K");

NativeString CompressionName(std::uint32_t compression) {
  switch (compression) {
    case bmp::kRle8: return NATIVE_TEXT("RLE8");
    case bmp::kRle4: return NATIVE_TEXT("RLE4");
    case bmp::kJpeg: return NATIVE_TEXT("JPEG");
    case bmp::kPng: return NATIVE_TEXT("PNG");
  }
  return Number(compression);
}

}  // namespace

NativeString Number(long long value) {
  const std::string digits = std::to_string(value);
  return NativeString(digits.begin(), digits.end());
}

NativeString Shown(const NativeString& text) {
  NativeString shown;
  for (const NativeChar c : text) {
    const auto code = static_cast<unsigned>(c);
    if (code >= 0x20 && code != 0x7F) {
      shown += c;
    } else if (c == '\n' || c == '\t' || c == '\r') {
      shown += c == '\n' ? NATIVE_TEXT("\\n") : c == '\t' ? NATIVE_TEXT("\\t") : NATIVE_TEXT("\\r");
    } else {
      shown += {'\\', static_cast<NativeChar>('0' + (code >> 6)), static_cast<NativeChar>('0' + (code >> 3 & 7)),
                static_cast<NativeChar>('0' + (code & 7))};
    }
  }
  return shown;
}

Report::Report(const Command& command, const Options& options, std::size_t files)
    : prefix_(MessagePrefix(command)),
      options_(options),
      files_(files),
      progressShown_(files > 1 && !options.quiet && StandardErrorIsTerminal()) {}

bool Report::Write(Stream stream, const NativeString& line) {
  ClearProgress();
  const SystemError error = WriteText(stream, Shown(line) + NATIVE_TEXT("\n"));
  if (error && stream == Stream::kOutput) outputError_ = error;
  if (error && stream == Stream::kError) errorFailed_ = true;
  return !error;
}

bool Report::Problem(const NativeString& name, const NativeString& problem) {
  ++failed_;
  return Write(Stream::kError, prefix_ + name + NATIVE_TEXT(": ") + problem);
}

bool Report::Done(const NativeString& line) { return Write(Stream::kOutput, line); }

// After a stream failed, the batch stopped short, so there is no sum to tell.
bool Report::Summary(const NativeString& line) {
  return options_.quiet || outputError_ || errorFailed_ || Write(Stream::kError, line);
}

void Report::Progress(std::size_t done, const NativeString& next) {
  if (!progressShown_ || done >= files_) return;
  const std::size_t slash = next.find_last_of(NATIVE_TEXT("/\\"));
  WriteText(Stream::kError, kClearLine + NativeString(NATIVE_TEXT("[")) + Number(done) + NATIVE_TEXT("/") +
                                Number(files_) + NATIVE_TEXT("] ") +
                                Shown(next.substr(slash == NativeString::npos ? 0 : slash + 1)));
  progressVisible_ = true;
}

void Report::ClearProgress() {
  if (progressVisible_) WriteText(Stream::kError, kClearLine);
  progressVisible_ = false;
}

int Report::Finish() {
  ClearProgress();
  if (outputError_ && !errorFailed_)
    Write(Stream::kError, prefix_ + Because(Say(Text::kCannotWriteOutput), outputError_));
  return failed_ || outputError_ || errorFailed_ ? kExitFailed : kExitDone;
}

NativeString OutcomeProblem(const Entry& entry, const NativeChar* suffix) {
  const NativeString output = entry.base + suffix;
  const Error& error = entry.outcome.error;
  switch (error.status) {
    case Status::kOk: break;
    case Status::kBadExtension: return Say(Text::kNotGif);
    case Status::kOutOfMemory: return Say(Text::kOutOfMemory);
    case Status::kBusy: return Say(Text::kBusy);
    case Status::kRefused: return Say(Text::kRefused);  // the command tells why, where it can
    case Status::kUnsupported:
      if (error.step != Step::kOpenSource) return Say(Text::kNotCarrier);
      if (error.cause.kind == SystemError::Kind::kNotAFile) return Say(Text::kNotAFile);
      return Because(Say(Text::kCannotOpen), error.cause);
    case Status::kIoError:
      switch (error.step) {
        case Step::kCreateOutput: return Because(Say(Text::kCannotCreate, {entry.base + kStagingSuffix}), error.cause);
        case Step::kWriteOutput: return Because(Say(Text::kCannotWrite, {output}), error.cause);
        case Step::kReplaceOutput: return Because(Say(Text::kCannotReplace, {output}), error.cause);
        default: return Because(Say(Text::kCannotRead), error.cause);
      }
  }
  return {};
}

NativeString BitmapTrouble(const BitmapInfo& bitmap) {
  switch (bitmap.form) {
    case BitmapForm::kCompressed: return Say(Text::kCompressedBitmap, {CompressionName(bitmap.compression)});
    case BitmapForm::kPlain: return Say(Text::kNoStandardHeader);
    case BitmapForm::kRows: break;
  }
  return Say(Text::kCutPalette);
}

NativeString Description(const Entry& entry) {
  const BitmapInfo& carrier = entry.outcome.bitmap;
  NativeString text =
      Say(Text::kChecked,
          {entry.source, Say(entry.outcome.form == CarrierForm::kImage ? Text::kImageData : Text::kComment),
           Number(static_cast<long long>(carrier.bytes))});
  if (carrier.hasFields) text += Say(Text::kCheckedSize, {Number(carrier.width), Number(carrier.height)});
  const NativeString depth = Number(carrier.bitsPerPixel);
  switch (carrier.form) {
    case BitmapForm::kPlain: break;
    case BitmapForm::kRows:
      if (carrier.rowBytes == carrier.writtenRowBytes)
        text += Say(Text::kCheckedRows, {depth, Number(static_cast<long long>(carrier.rowBytes))});
      else
        text += Say(Text::kCheckedPaddedRows, {depth, Number(static_cast<long long>(carrier.rowBytes)),
                                               Number(static_cast<long long>(carrier.writtenRowBytes))});
      break;
    case BitmapForm::kCompressed: text += Say(Text::kCheckedCompressed, {CompressionName(carrier.compression)}); break;
  }
  return text;
}
