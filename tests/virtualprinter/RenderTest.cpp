#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "PngReader.h"
#include "PrinterTestSupport.h"
#include "streams/Streams.h"
#include "virtualprinter/Render.h"

namespace quillmark {
namespace {

using namespace quillmark::test;  // NOLINT(google-build-using-namespace): test helpers

class VirtualPrinterRender : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::path(::testing::TempDir()) /
        ("render_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    return path;
  }

  // Renders `inputs` with `printer` and checks that the PNG shows `expected` dot for dot.
  void ExpectRendered(VirtualPrinter& printer, const std::vector<std::string>& inputs,
                      const Paper& expected) {
    const std::string png = (dir_ / "sheet.png").string();
    const RenderResult result = RenderStreamsToPng(printer, inputs, png);
    ASSERT_EQ(result.error, RenderError::kNone) << result.path;
    const ReadFileResult file = LoadWholeFile(png, 1U << 26);
    ASSERT_EQ(file.error, ReadFileError::kNone);
    std::string error;
    const auto decoded = ReadStoredPng(file.bytes->bytes(), error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->width, expected.width());
    ASSERT_EQ(decoded->height, expected.height());
    for (int y = 0; y < expected.height(); ++y)
      for (int x = 0; x < expected.width(); ++x)
        ASSERT_EQ(decoded->Dot(x, y), expected.Dot(x, y)) << x << "," << y;
  }

  std::filesystem::path dir_;
};

TEST_F(VirtualPrinterRender, FilesAreOneStreamAndThePngShowsItsPaper) {
  AppState state(kPlatformWin32Nt);
  state.imageSlots[2] = ByteBlock::CopyOf(Record(104, 30, 1));  // the full W4 width
  state.imageSlots[5] = ByteBlock::CopyOf(Record(3, 1, 2));
  const Bytes definition = Of(BuildNvDefinitionStream(state));
  const Bytes test = Of(BuildNvPrintTestStream(0));
  const VirtualPrinterConfig w4 = VirtualPrinterConfigFor(*PrinterModelByCode("W4"));
  VirtualPrinter direct(w4);
  direct.Feed(Cat({definition, test}));
  // The first file ends inside image 3's raster; the second continues it.
  const std::size_t cut = 3 + 2 * 12 + 4 + 1000;
  VirtualPrinter printer(w4);
  ExpectRendered(printer,
                 {Write("a.bin", std::span(definition).first(cut)),
                  Write("b.bin", std::span(definition).subspan(cut)), Write("test.bin", test)},
                 direct.TakePaper());
  EXPECT_EQ(printer.bytesIgnored(), 0U);
}

TEST_F(VirtualPrinterRender, ImagesKeptInAnNvStorePrintInALaterRun) {
  const std::string store = (dir_ / "printer.nv").string();
  const Bytes image = Record(6, 2, 3);
  NvMemory memory;
  EXPECT_EQ(LoadNvStore(store, 0x20000, memory), NvStoreError::kNotFound);  // a new printer
  VirtualPrinter first(Config(0x20000));
  first.Feed(Define({Record(1, 1, 1), image}));
  ASSERT_EQ(SaveNvStore(first.nvMemory(), store).step, FileStep::kNone);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);  // no leftovers
  // Too big for a smaller printer; a large file that is no store is refused as such.
  EXPECT_EQ(LoadNvStore(store, 0x40, memory), NvStoreError::kExceedsCapacity);
  EXPECT_EQ(LoadNvStore(Write("x.nv", Bytes(300000, 'x')), 0x20000, memory),
            NvStoreError::kNotAStore);

  VirtualPrinter later(Config(0x20000));
  ASSERT_EQ(LoadNvStore(store, 0x20000, later.nvMemory()), NvStoreError::kNone);
  Paper expected(576);
  ASSERT_TRUE(expected.Feed(16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 48; ++x)
      if (RecordDot(image, x, y)) expected.SetDot(x, y);
  ExpectRendered(later, {Write("print.bin", Print(2, 0))}, expected);
}

TEST_F(VirtualPrinterRender, FailuresNameTheFileAndWriteNothing) {
  const std::string good = Write("ok.bin", Text("hello\n"));
  const std::string png = (dir_ / "out.png").string();
  struct Case {
    std::string input, output;
    RenderError error;
  };
  const Case cases[] = {
      {(dir_ / "missing.bin").string(), png, RenderError::kInputNotFound},
      {dir_.string(), png, RenderError::kInputUnreadable},  // a folder cannot be read
      {good, (dir_ / "no" / "out.png").string(), RenderError::kOutputFailed},
  };
  for (const Case& c : cases) {
    VirtualPrinter printer(Config(0x40000));
    const std::string inputs[] = {good, c.input};
    const RenderResult result = RenderStreamsToPng(printer, inputs, c.output);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.path, c.error == RenderError::kOutputFailed ? c.output : c.input);
    EXPECT_EQ(result.output.step != FileStep::kNone, c.error == RenderError::kOutputFailed);
    EXPECT_FALSE(std::filesystem::exists(png));
  }
}

}  // namespace
}  // namespace quillmark
