// The paced send against a FIFO that a reader drains as fast as it can: what the pacing
// (a status query before every 16-byte piece, a write per piece, a progress update per
// piece) costs when the device itself costs nothing. A FIFO answers no status query, so
// under the NT rules the port is always ready.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "port/PortTransport.h"
#include "port/posix/PosixPortApi.h"
#include "state/AppState.h"

namespace quillmark {
namespace {

// The largest definition stream: the 4-byte header and ten images of 8184 x 2304 dots
// (4 + 8 x 1023 x 288 bytes each).
constexpr std::uint32_t kLargestStream = 4 + 10 * (4 + 8 * 1023 * 288);

class Drain {
 public:
  explicit Drain(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), thread_([this] { Run(); }) {}
  ~Drain() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::uint64_t bytes() const { return bytes_; }

 private:
  // Reads whatever has gathered, then lets more gather, as a device with a buffer does;
  // a reader woken for every 16 bytes would measure the scheduler instead of the send.
  void Run() {
    static char buffer[1 << 16];
    while (!stop_) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        bytes_ += static_cast<std::uint64_t>(n);
        continue;
      }
      ::usleep(500);
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> bytes_{0};
  std::thread thread_;
};

struct NoProgress final : SendProgress {
  void SetProgressRange(std::uint32_t upper) override { benchmark::DoNotOptimize(upper); }
  void SetProgressPos(std::uint32_t pos) override { benchmark::DoNotOptimize(pos); }
};

void PacedSendToFifo(benchmark::State& bench) {
  const auto size = static_cast<std::uint32_t>(bench.range(0));
  std::string dir = (std::filesystem::temp_directory_path() / "quillmark-bench-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) {
    bench.SkipWithError("no temporary folder");
    return;
  }
  const std::string fifo = dir + "/lp";
  ::mkfifo(fifo.c_str(), 0600);
  auto block = ByteBlock::Allocate(size);
  for (std::uint32_t i = 0; i < size; ++i)
    block->data()[i] = static_cast<std::uint8_t>(i);

  {
    Drain drain(fifo);
    PosixPortApi api(PosixPortApi::DeviceMap{{"LPT1", fifo}});
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    NoProgress progress;
    for (auto _ : bench) {
      if (SendBlock(state, api, *block, &progress).result != SendResult::kSent) {
        bench.SkipWithError("send failed");
        break;
      }
    }
  }
  std::filesystem::remove_all(dir);
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) * size);
  bench.counters["pieces"] = benchmark::Counter(
      static_cast<double>((size + kMaxPieceBytes - 1) / kMaxPieceBytes) * bench.iterations());
}

BENCHMARK(PacedSendToFifo)
    ->Arg(kLargestStream)
    ->Arg(1 << 20)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
