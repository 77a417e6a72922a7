// The printer's files: PNGs of its paper, its NV store, and sheets rendered from streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "PrinterTestSupport.h"
#include "raster/Checksums.h"
#include "raster/PngWriter.h"
#include "support/PngReader.h"
#include "virtualprinter/NvMemory.h"
#include "virtualprinter/Render.h"

namespace quillmark {
namespace {

using namespace quillmark::test;  // NOLINT(google-build-using-namespace): test helpers

// Read back by a reader of its own: partial last bytes, no rows (one white row is written),
// stored blocks ending inside rows; the random bits beyond each row's width come out white.
TEST(PngWriter, DecodesBackToTheSameDots) {
  const std::pair<int, int> sizes[] = {{1, 1},     {7, 3},     {8, 1},     {9, 2},
                                       {576, 300}, {832, 700}, {13, 9000}, {576, 0}};
  std::mt19937 random(1);
  for (const auto& [width, height] : sizes) {
    const std::size_t stride = static_cast<std::size_t>(width + 7) / 8 + 1;
    Bytes bits(stride * static_cast<std::size_t>(height));
    std::generate(bits.begin(), bits.end(), [&] { return static_cast<std::uint8_t>(random()); });
    const MonoImageView view{width, height, stride, bits.data()};
    const auto png = EncodePng(view);
    ASSERT_TRUE(png);
    std::string error;
    const auto decoded = DecodeSheetPng(png->bytes(), error);
    ASSERT_TRUE(decoded) << width << "x" << height << ": " << error;
    ASSERT_EQ(std::pair(decoded->width(), decoded->height()),
              std::pair(width, std::max(height, 1)));
    for (int y = 0; y < decoded->height(); ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(decoded->Dot(x, y), view.Dot(x, y)) << width << "x" << height << " at " << x;
  }
}

NvMemory Images(std::initializer_list<Bytes> records) {
  NvMemory memory;
  for (const Bytes& r : records)
    memory.Append(std::move(*ByteBlock::CopyOf(r)));
  return memory;
}
NvMemory ThreeImages() {  // x above 255 and y above 255 included; kNeeded bytes
  return Images({Record(1, 1, 1), Record(300, 2, 2), Record(3, 288, 3)});
}
constexpr std::uint32_t kNeeded = NvRecordSize(1, 1) + NvRecordSize(300, 2) + NvRecordSize(3, 288);
Bytes Encoded(const NvMemory& memory) {
  return BytesOf(*EncodeNvStore(memory));
}

TEST(NvStore, RoundTripKeepsEveryImage) {
  for (bool empty : {true, false}) {
    const NvMemory original = empty ? NvMemory() : ThreeImages();
    NvMemory loaded = Images({Record(2, 2, 9)});  // replaced
    ASSERT_EQ(DecodeNvStore(Encoded(original), kNeeded, loaded), NvStoreError::kNone);
    EXPECT_EQ(Encoded(loaded), Encoded(original));
  }
}

// Each refused with the reason, leaving the memory as it was.
TEST(NvStore, DamagedStoresAreRefused) {
  const Bytes good = Encoded(ThreeImages());
  const std::size_t third = 16 + NvRecordSize(1, 1) + NvRecordSize(300, 2);  // image 3's header
  auto images256 = [](Bytes& b) {  // one more than FS q can number, each of them valid
    b[12] = 0, b[13] = 1;
    for (int i = 3; i < 256; ++i)
      b.insert(b.end() - 4, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  };
  using E = NvStoreError;
  // The bool asks for a fresh CRC, so that only the structure is wrong.
  // clang-format off
  const std::tuple<const char*, std::function<void(Bytes&)>, bool, std::uint32_t, E> cases[] = {
      {"raster bit flipped", [](Bytes& b) { b[40] ^= 0x10; }, false, 0x80000, E::kCorrupt},
      {"last byte cut", [](Bytes& b) { b.pop_back(); }, false, 0x80000, E::kCorrupt},
      {"cut to the header", [](Bytes& b) { b.resize(19); }, false, 0x80000, E::kNotAStore},
      {"CR LF made LF", [](Bytes& b) { b.erase(b.begin() + 4); }, false, 0x80000, E::kNotAStore},
      {"version 2", [](Bytes& b) { b[8] = 2; }, false, 0x80000, E::kUnsupportedVersion},
      {"256 images", images256, true, 0x80000, E::kCorrupt},
      {"count one more", [](Bytes& b) { b[12] = 4; }, true, 0x80000, E::kCorrupt},
      {"image of height 289", [&](Bytes& b) { b[third + 2] = 0x21; b.insert(b.end() - 4, 24, 0); }, true, 0x80000, E::kCorrupt},
      {"byte appended", [](Bytes& b) { b.insert(b.end() - 4, 0); }, true, 0x80000, E::kCorrupt},
      {"a byte too big for the printer", [](Bytes&) {}, false, kNeeded - 1, E::kExceedsCapacity},
  };
  // clang-format on
  for (const auto& [what, damage, reseal, capacity, expected] : cases) {
    Bytes store = good;
    damage(store);
    const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(store).first(store.size() - 4));
    for (std::size_t i = 0; reseal && i < 4; ++i)
      store[store.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    NvMemory memory = Images({Record(2, 2, 9)});
    EXPECT_EQ(DecodeNvStore(store, capacity, memory), expected) << what;
    EXPECT_EQ(Encoded(memory), Encoded(Images({Record(2, 2, 9)}))) << what;
  }
}

// Receipts as an open-source encoder writes them (tests/virtualprinter/data/README.md),
// after a download of the logo they recall: the sheet is the one stored, dot for dot.
TEST(VirtualPrinterRender, ReceiptsOfAnEncoderPrintAsStored) {
  const std::string data = QUILLMARK_SOURCE_DIR "/tests/virtualprinter/data/";
  const std::string inputs[] = {data + "logo.bin", data + "receipt-text.bin",
                                data + "receipt-images.bin", data + "receipt-raster.bin",
                                data + "receipt-codes.bin"};
  TempDir dir;
  const std::string png = (dir.path() / "receipts.png").string();
  VirtualPrinter printer(VirtualPrinterConfigFor(*PrinterModelByCode("A2")));
  for (const std::string& input : inputs)
    ASSERT_EQ(FeedRenderInput(printer, input).error, RenderError::kNone) << input;
  ASSERT_FALSE(WritePngFile(printer.TakePaper().View(), png));
  EXPECT_EQ(printer.bytesIgnored(), 0U);
  std::string error;
  const auto printed = DecodeSheetPng(BytesOf(*LoadWholeFile(png, 1U << 26).bytes), error);
  const auto stored =
      DecodeSheetPng(BytesOf(*LoadWholeFile(data + "receipts.png", 1U << 26).bytes), error);
  ASSERT_TRUE(printed && stored) << error;
  ASSERT_EQ(std::pair(printed->width(), printed->height()),
            std::pair(stored->width(), stored->height()));
  EXPECT_TRUE(printed->black == stored->black);
}

}  // namespace
}  // namespace quillmark
