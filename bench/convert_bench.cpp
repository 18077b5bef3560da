// Throughput of the container reader, the row placing and the whole job for
// payloads of 64 KiB, 1 MiB and 64 MiB.
//
// Files live in QUILLANE_BENCH_DIR, else /dev/shm, else the temporary folder:
// on tmpfs the figures are the program's own cost rather than the disk's.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "memory_platform.h"
#include "support.h"

namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;

// A bitmap of exactly `size` bytes: roughly square rows of 3-byte pixels, with
// whatever does not make a whole row left after the last one.
Bytes MakePayload(std::int64_t size) {
  const auto side = static_cast<std::int32_t>(std::sqrt(static_cast<double>(size) / 3) / 4) * 4;
  const auto rows = static_cast<std::int32_t>((size - 54) / (3 * side));
  Bytes payload = MakeBitmap(side, rows, 7);
  payload.resize(static_cast<std::size_t>(size));
  return payload;
}

fs::path WorkFolder() {
  if (const char* chosen = std::getenv("QUILLANE_BENCH_DIR")) return chosen;
  std::error_code error;
  if (fs::is_directory("/dev/shm", error)) return "/dev/shm";
  return fs::temp_directory_path();
}

// Writes the carrier of a payload of state.range(0) bytes as `path`; false,
// with the benchmark marked as failed, when that cannot be done.
bool PutCarrier(benchmark::State& state, const fs::path& path) {
  try {
    WriteFileBytes(path, MakeCarrier(MakePayload(state.range(0)), CarrierForm::kImage));
    return true;
  } catch (const std::exception&) {
    state.SkipWithError("cannot write the carrier");
    return false;
  }
}

// Counts the payload and drops it, so only the reader is timed.
struct CountingSink : PayloadSink {
  std::uint64_t size = 0;
  Error Append(std::span<const std::uint8_t> bytes) override {
    size += bytes.size();
    return {};
  }
};

void BM_ExtractPayload(benchmark::State& state) {
  const TempDir dir(WorkFolder());
  const fs::path source = dir / "in.gif";
  if (!PutCarrier(state, source)) return;
  NativePlatform os;
  Bytes buffer(kTransferSize);
  for (auto _ : state) {
    const FileHandle in = os.OpenForRead(source.native()).value.handle;
    CountingSink sink;
    CarrierForm form;
    const Status status = ExtractPayload(os, in, sink, &form, buffer).status;
    const bool closed = !os.Close(in);
    if (status != Status::kOk || !closed || sink.size != static_cast<std::uint64_t>(state.range(0))) {
      state.SkipWithError("extraction failed");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The rows placed in the buffer, written nowhere, so only the placing is timed.
void BM_PlaceRows(benchmark::State& state) {
  const Bytes payload = MakePayload(state.range(0));
  MemoryPlatform os;
  os.files["in"] = payload;
  const OpenedFile source = os.OpenForRead("in").value;
  Bytes buffer(kTransferSize);
  NoTarget nowhere;
  for (auto _ : state) {
    if (PourPayload(os, nowhere, buffer, source, payload, 255) != Status::kOk) {
      state.SkipWithError("placing failed");
      return;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_ConvertFile(benchmark::State& state) {
  const TempDir dir(WorkFolder());
  const fs::path source = dir / "in.gif", output = dir / "in.gif.bmp";
  if (!PutCarrier(state, source)) return;
  NativePlatform os;
  std::vector<NativeString> notices;
  for (auto _ : state) {
    if (DropFile(os, source.native(), &notices).error) {
      state.SkipWithError("conversion failed");
      return;
    }
    // Each run creates its output afresh, as a first conversion does.
    state.PauseTiming();
    std::error_code error;
    const bool removed = fs::remove(output, error);
    state.ResumeTiming();
    if (!removed) {
      state.SkipWithError("cannot remove the output");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void PayloadSizes(benchmark::internal::Benchmark* b) {
  b->Arg(64 * kKiB)->Arg(1 * kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ExtractPayload)->Apply(PayloadSizes);
BENCHMARK(BM_PlaceRows)->Apply(PayloadSizes);
BENCHMARK(BM_ConvertFile)->Apply(PayloadSizes);

}  // namespace

BENCHMARK_MAIN();
