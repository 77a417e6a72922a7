// How fast the virtual printer interprets and draws the largest streams Quillmark makes:
// ten images of the full print width and the full 2304 rows, then the print-test sheet.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "raster/PngWriter.h"
#include "streams/Streams.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark {
namespace {

const PrinterModel& Model(std::int64_t index) {
  return kPrinterModels[static_cast<std::size_t>(index)];
}

// The definition stream of ten full-size images, random dots, for the model's width.
std::vector<std::uint8_t> LargestDefinition(const PrinterModel& model) {
  AppState state(kPlatformWin32Nt);
  std::mt19937 random(1);
  const int x = model.widthBytes;
  const int y = kMaxNvImageHeightUnits;
  for (auto& slot : state.imageSlots) {
    slot = ByteBlock::Allocate(NvRecordSize(x, y));
    std::uint8_t* data = slot->data();
    data[0] = static_cast<std::uint8_t>(x);
    data[2] = static_cast<std::uint8_t>(y);
    data[3] = static_cast<std::uint8_t>(y >> 8);
    for (std::uint32_t i = 4; i < slot->size(); ++i)
      data[i] = static_cast<std::uint8_t>(random());
  }
  const auto stream = BuildNvDefinitionStream(state);
  return {stream->bytes().begin(), stream->bytes().end()};
}

std::vector<std::uint8_t> PrintTest() {
  const auto stream = BuildNvPrintTestStream(0);
  return {stream->bytes().begin(), stream->bytes().end()};
}

// Arg 0: model index; arg 1: piece size fed at a time (0: the whole stream at once).
void BM_DefineLargest(benchmark::State& state) {
  const PrinterModel& model = Model(state.range(0));
  const auto stream = LargestDefinition(model);
  const auto piece = static_cast<std::size_t>(state.range(1));
  for (auto _ : state) {
    VirtualPrinter printer(VirtualPrinterConfigFor(model));
    const std::span<const std::uint8_t> all(stream);
    if (piece == 0) {
      printer.Feed(all);
    } else {
      for (std::size_t at = 0; at < all.size(); at += piece)
        printer.Feed(all.subspan(at, std::min(piece, all.size() - at)));
    }
    benchmark::DoNotOptimize(printer.nvMemory().count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(stream.size()));
  state.SetLabel(std::string(model.code));
}
BENCHMARK(BM_DefineLargest)
    ->ArgsProduct({{0, 1, 2, 3}, {0}})
    ->Args({0, 16})
    ->Args({3, 16})
    ->Unit(benchmark::kMillisecond);

// The print-test sheet after the largest definition: as many full-size images as the
// model's memory holds, printed and their labels drawn.
void BM_PrintTestSheet(benchmark::State& state) {
  const PrinterModel& model = Model(state.range(0));
  VirtualPrinter printer(VirtualPrinterConfigFor(model));
  printer.Feed(LargestDefinition(model));
  const auto test = PrintTest();
  int rows = 0;
  for (auto _ : state) {
    printer.Feed(test);
    rows = printer.TakePaper().height();
    printer.ClearEvents();
  }
  state.counters["rows"] = rows;
  state.counters["images"] = printer.nvMemory().count();
  state.SetLabel(std::string(model.code));
}
BENCHMARK(BM_PrintTestSheet)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The whole of `render`: definition, print-test and the PNG of the sheet, in memory.
void BM_RenderToPng(benchmark::State& state) {
  const PrinterModel& model = Model(state.range(0));
  const auto definition = LargestDefinition(model);
  const auto test = PrintTest();
  std::uint32_t pngBytes = 0;
  for (auto _ : state) {
    VirtualPrinter printer(VirtualPrinterConfigFor(model));
    printer.Feed(definition);
    printer.Feed(test);
    const Paper paper = printer.TakePaper();
    pngBytes = EncodePng(paper.View())->size();
  }
  state.counters["png_bytes"] = pngBytes;
  state.SetLabel(std::string(model.code));
}
BENCHMARK(BM_RenderToPng)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// The heaviest single print: a full-size image in quadruple mode.
void BM_PrintQuadruple(benchmark::State& state) {
  const PrinterModel& model = Model(state.range(0));
  VirtualPrinter printer(VirtualPrinterConfigFor(model));
  printer.Feed(LargestDefinition(model));
  const std::uint8_t command[] = {0x1C, 'p', 1, 3};
  for (auto _ : state) {
    printer.Feed(command);
    benchmark::DoNotOptimize(printer.TakePaper().height());
    printer.ClearEvents();
  }
  state.SetLabel(std::string(model.code));
}
BENCHMARK(BM_PrintQuadruple)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
