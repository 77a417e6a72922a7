// Building and saving the largest definition stream (ten 2,356,996-byte records, about
// 23.6 MB) against writing the same number of bytes to the disk.
//
//   bench_files [--benchmark_repetitions=5]
//
// Files go to $QUILLMARK_BENCH_DIR, else to the current folder (a build folder on the
// disk, not a tmpfs /tmp).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "commands/FileCommands.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

// The largest record conversion makes: x = 1023, y = 288 (no print width set).
constexpr std::uint32_t kLargestRecord = 8 * 1023 * 288 + 4;

std::string BenchFolder() {
  const char* chosen = std::getenv("QUILLMARK_BENCH_DIR");
  const std::filesystem::path folder =
      std::filesystem::path(chosen != nullptr ? chosen : ".") / "quillmark-bench-files";
  std::filesystem::create_directories(folder);
  return folder.string();
}

void FillLargest(AppState& state) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    auto record = ByteBlock::Allocate(kLargestRecord);
    record->data()[0] = 0xFF;
    record->data()[1] = 0x03;
    record->data()[2] = 0x20;
    record->data()[3] = 0x01;
    for (std::uint32_t i = 4; i < kLargestRecord; ++i)
      record->data()[i] = static_cast<std::uint8_t>(i * 13 + static_cast<std::uint32_t>(slot));
    state.imageSlots[static_cast<std::size_t>(slot)] = std::move(record);
  }
}

void BM_BuildStream(benchmark::State& bench) {
  AppState state(kPlatformWin32Nt);
  FillLargest(state);
  for (auto _ : bench) {
    auto stream = BuildNvDefinitionStream(state);
    benchmark::DoNotOptimize(stream->data());
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(NvDefinitionStreamSize(state)));
}

// What File does: build, write to a temporary file, sync, close, rename over the target.
void BM_BuildAndSave(benchmark::State& bench) {
  AppState state(kPlatformWin32Nt);
  FillLargest(state);
  const std::string target = BenchFolder() + "/saved.bin";
  for (auto _ : bench) {
    const FileCommandOutcome outcome = ExportDefinitionStream(state, target);
    if (outcome.result != FileCommandResult::kWriteFinish) {
      bench.SkipWithError(DescribeOutcome(outcome).c_str());
      break;
    }
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(NvDefinitionStreamSize(state)));
  std::filesystem::remove(target);
}

// The saving alone, for a stream built once: what the safe replacement costs on its own.
void BM_SaveBuiltStream(benchmark::State& bench) {
  AppState state(kPlatformWin32Nt);
  FillLargest(state);
  const auto stream = BuildNvDefinitionStream(state);
  const std::string target = BenchFolder() + "/saved.bin";
  for (auto _ : bench) {
    if (const FileError error = ReplaceFileContents(target, stream->bytes())) {
      bench.SkipWithError("save failed");
      break;
    }
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(stream->size()));
  std::filesystem::remove(target);
}

// The same number of bytes, already in memory, written over a file in place: with `sync`
// as durable as File's save, without it only handed to the page cache.
void WriteRaw(benchmark::State& bench, bool sync) {
  AppState state(kPlatformWin32Nt);
  FillLargest(state);
  const auto stream = BuildNvDefinitionStream(state);
  const std::string target = BenchFolder() + "/raw.bin";
  for (auto _ : bench) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::size_t done = 0;
    while (fd >= 0 && done < stream->size()) {
      const ssize_t n = ::write(fd, stream->data() + done, stream->size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    const bool ok =
        fd >= 0 && done == stream->size() && (!sync || ::fsync(fd) == 0) && ::close(fd) == 0;
    if (!ok) {
      bench.SkipWithError("raw write failed");
      break;
    }
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(stream->size()));
  std::filesystem::remove(target);
}

void BM_WriteRawSynced(benchmark::State& bench) {
  WriteRaw(bench, true);
}
void BM_WriteRawUnsynced(benchmark::State& bench) {
  WriteRaw(bench, false);
}

BENCHMARK(BM_BuildStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveBuiltStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteRawSynced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteRawUnsynced)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
