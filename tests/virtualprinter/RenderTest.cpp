#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "PngReader.h"
#include "PrinterTestSupport.h"
#include "streams/Streams.h"
#include "virtualprinter/FileIo.h"
#include "virtualprinter/Render.h"

namespace quillmark {
namespace {

using namespace quillmark::test;  // NOLINT(google-build-using-namespace): test helpers

class RenderTest : public ::testing::Test {
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

  static void ExpectPngShows(const std::string& path, const Paper& paper) {
    const ReadFileResult file = LoadWholeFile(path, 1U << 26);
    ASSERT_EQ(file.error, ReadFileError::kNone);
    std::string error;
    const auto png = ReadStoredPng(file.bytes->bytes(), error);
    ASSERT_TRUE(png) << error;
    ASSERT_EQ(png->width, paper.width());
    ASSERT_EQ(png->height, paper.height());
    for (int y = 0; y < png->height; ++y)
      for (int x = 0; x < png->width; ++x)
        ASSERT_EQ(png->Dot(x, y), paper.Dot(x, y)) << x << "," << y;
  }

  std::filesystem::path dir_;
};

TEST_F(RenderTest, FilesAreOneStreamAndThePngShowsItsPaper) {
  AppState state(kPlatformWin32Nt);
  state.imageSlots[2] = ByteBlock::CopyOf(Record(104, 30, 1));  // full W4 width
  state.imageSlots[5] = ByteBlock::CopyOf(Record(3, 1, 2));
  const auto definition = BuildNvDefinitionStream(state);
  const auto test = BuildNvPrintTestStream(0);
  const auto bytes = definition->bytes();
  // The definition is cut inside image 3's raster: the second file continues it.
  const std::size_t cut = 3 + 2 * 12 + 4 + 1000;
  const std::string inputs[] = {Write("a.bin", bytes.first(cut)),
                                Write("b.bin", bytes.subspan(cut)),
                                Write("test.bin", test->bytes())};
  const std::string png = (dir_ / "sheet.png").string();
  const VirtualPrinterConfig w4 = VirtualPrinterConfigFor(*PrinterModelByCode("W4"));

  VirtualPrinter printer(w4);
  const RenderResult result = RenderStreamsToPng(printer, inputs, png);
  ASSERT_EQ(result.error, RenderError::kNone) << result.path;
  EXPECT_EQ(printer.bytesIgnored(), 0U);
  EXPECT_EQ(printer.nvMemory().count(), 10);

  VirtualPrinter direct(w4);
  direct.Feed(bytes);
  direct.Feed(test->bytes());
  ExpectPngShows(png, direct.TakePaper());
}

TEST_F(RenderTest, ImagesKeptInAnNvStorePrintInALaterRun) {
  const Bytes image = Record(6, 2, 3);
  const std::string store = (dir_ / "printer.nv").string();
  {
    VirtualPrinter first(Config(0x20000));
    first.Feed(Define({Record(1, 1, 1), image}));
    ASSERT_EQ(SaveNvStore(first.nvMemory(), store).step, FileStep::kNone);
  }
  VirtualPrinter later(Config(0x20000));
  ASSERT_EQ(LoadNvStore(store, 0x20000, later.nvMemory()), NvStoreError::kNone);
  const std::string png = (dir_ / "out.png").string();
  const std::string inputs[] = {Write("print.bin", Print(2, 0))};
  ASSERT_EQ(RenderStreamsToPng(later, inputs, png).error, RenderError::kNone);

  Paper expected(576);
  ASSERT_TRUE(expected.Feed(16));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 48; ++x)
      if (RecordDot(image, x, y)) expected.SetDot(x, y);
  ExpectPngShows(png, expected);
}

TEST_F(RenderTest, FailuresNameTheFileAndWriteNothing) {
  const std::string good = Write("ok.bin", Text("hello\n"));
  const std::string missing = (dir_ / "missing.bin").string();
  const std::string png = (dir_ / "out.png").string();
  {
    VirtualPrinter printer(Config(0x40000));
    const std::string inputs[] = {good, missing};
    const RenderResult result = RenderStreamsToPng(printer, inputs, png);
    EXPECT_EQ(result.error, RenderError::kInputNotFound);
    EXPECT_EQ(result.path, missing);
    EXPECT_FALSE(std::filesystem::exists(png));
  }
  {
    VirtualPrinter printer(Config(0x40000));
    const std::string inputs[] = {good, dir_.string()};  // a folder cannot be read
    EXPECT_EQ(RenderStreamsToPng(printer, inputs, png).error, RenderError::kInputUnreadable);
    EXPECT_FALSE(std::filesystem::exists(png));
  }
  VirtualPrinter printer(Config(0x40000));
  const std::string inputs[] = {good};
  const std::string nowhere = (dir_ / "no" / "out.png").string();
  const RenderResult result = RenderStreamsToPng(printer, inputs, nowhere);
  EXPECT_EQ(result.error, RenderError::kOutputFailed);
  EXPECT_EQ(result.path, nowhere);
  EXPECT_EQ(result.output.step, FileStep::kCreateTemporary);
}

}  // namespace
}  // namespace quillmark
