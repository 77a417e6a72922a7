// What the progress reports of one send cost the command-line tool: the largest definition
// stream (23,569,964 bytes in ESC mode) reports its position once for every 16-byte piece,
// 1,473,123 times. Measured with the line drawn to a stream that discards it (as on a
// terminal, but without the terminal's own cost), and with progress off (stderr no
// terminal, or --quiet).
#include <benchmark/benchmark.h>

#include <ostream>
#include <sstream>
#include <streambuf>

#include "cli/SendUi.h"

namespace {

constexpr std::uint32_t kLargestStream = 23569964;

class NullBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void SendReports(benchmark::State& state, bool progress) {
  NullBuffer discard;
  std::ostream err(&discard);
  std::istringstream in;
  for (auto _ : state) {
    quillmark::cli::SendUiOptions options;
    options.progress = progress;
    quillmark::cli::TerminalSendUi ui(err, in, options, &quillmark::cli::SteadyMilliseconds);
    ui.SetProgressRange(kLargestStream);
    for (std::uint32_t pos = 0; pos < kLargestStream; pos += 16)
      ui.SetProgressPos(pos);
    ui.SetProgressPos(kLargestStream);
    benchmark::DoNotOptimize(ui.progressPos());
  }
  state.counters["reports"] =
      benchmark::Counter(static_cast<double>((kLargestStream + 15) / 16 + 1));
}

void BM_ProgressShown(benchmark::State& state) {
  SendReports(state, true);
}
void BM_ProgressOff(benchmark::State& state) {
  SendReports(state, false);
}

BENCHMARK(BM_ProgressShown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgressOff)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
