#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "PrinterTestSupport.h"
#include "virtualprinter/BitmapFont.h"

namespace quillmark {
namespace {

using namespace quillmark::test;  // NOLINT(google-build-using-namespace): test helpers
using K = PrinterEventKind;

// Capacity 48; a record of x by y units takes 8xy + 4 bytes. The first image decides
// whether the old ones are replaced; then images are stored while they fit beside those
// before them. A record of impossible size ends the command after its header.
TEST(VirtualPrinterDefine, CapacityDecidesWhatIsStored) {
  const std::vector<Bytes> old = {Record(1, 1, 1), Record(1, 1, 2), Record(1, 1, 3)};
  const Bytes a = Record(1, 1, 4), b = Record(2, 1, 5), c = Record(3, 1, 6), big = Record(6, 1, 7);
  // clang-format off
  const std::tuple<const char*, std::vector<Bytes>, int, PrinterEventKind> cases[] = {
      {"replaces all three", {a, b}, 2, K::kImageStored},
      {"fills the memory exactly", {b, c}, 2, K::kImageStored},
      {"first too big", {big, a}, -1, K::kDefinitionIgnored},  // -1: the old images stay
      {"third 4 bytes too big", {c, a, a, b}, 2, K::kImagesNotStored},
      {"second too big, third would fit", {a, big, a}, 1, K::kImagesNotStored},
      {"n = 0", {}, -1, K::kDefinitionEmpty},
      {"first of no size", {Record(0, 1, 8)}, -1, K::kRecordInvalid},
      {"second of no size", {a, Record(1, 0, 8)}, 1, K::kRecordInvalid},
  };
  // clang-format on
  for (const auto& [what, records, count, logged] : cases) {
    SCOPED_TRACE(what);
    VirtualPrinter printer(Config(48));
    printer.Feed(Define(old));
    // The text behind the command prints only if exactly the command's bytes were taken.
    printer.Feed(Concat({Define(records, true), Text("Z\n")}));
    std::vector<Bytes> stored;
    for (int i = 1; i <= printer.nvMemory().count(); ++i)
      stored.push_back(BytesOf(*printer.nvMemory().Record(i)));
    EXPECT_EQ(stored,
              count < 0 ? old : std::vector<Bytes>(records.begin(), records.begin() + count));
    EXPECT_EQ(Count(printer, logged), logged == K::kImageStored ? 3 + count : 1);
    EXPECT_EQ(printer.bytesIgnored(), 0U);
    ASSERT_EQ(printer.paper().height(), kGlyphCellHeight);
    ExpectTextLine(printer.paper(), 0, "Z");
  }
}

// A pending text line is printed first; the image follows at the left margin, m = 0 to 3
// (or '0' to '3') doubling its width and height, cut at the print width.
TEST(VirtualPrinterPrint, ModesScaleTheImageAndThePrintWidthCutsIt) {
  // clang-format off
  const std::tuple<int, int, int, int> cases[] = {  // width, x, m, dot columns cut off
      {576, 3, 0, 0}, {576, 3, 48, 0}, {576, 3, 1, 0}, {576, 3, 49, 0}, {576, 3, 2, 0}, {576, 3, 50, 0},
      {576, 3, 3, 0}, {576, 3, 51, 0}, {576, 80, 0, 64}, {576, 72, 1, 576}, {832, 104, 0, 0},
      {832, 72, 3, 320}, {580, 80, 0, 60}, {100, 10, 1, 60}, {576, 1023, 0, 8184 - 576},
  };
  // clang-format on
  for (const auto& [width, x, m, cut] : cases) {
    SCOPED_TRACE(::testing::Message() << "m = " << m << ", x = " << x << " on " << width);
    const int sx = 1 + (m & 1), sy = 1 + (m >> 1 & 1);
    VirtualPrinter printer(Config(0x80000, width));
    const Bytes image = Record(x, 2, static_cast<unsigned>(x + m));
    printer.Feed(Concat({Define({image}), Text("AB"), Print(1, m, m >= 48)}));
    ASSERT_EQ(printer.paper().height(), kGlyphCellHeight + 16 * sy);
    ExpectTextLine(printer.paper(), 0, "AB");
    ExpectImage(printer.paper(), kGlyphCellHeight, image, sx, sy);
    const PrinterEvent& e = printer.events().back();
    EXPECT_EQ(std::tuple(e.kind, e.widthDots, e.count),
              std::tuple(K::kImagePrinted, 8 * x * sx - cut, static_cast<std::uint64_t>(cut)));
  }
}

// Lines wrap at the print width and LF prints them (or feeds a blank one); NUL is silent.
// Logged: every other byte no command takes, ESC or FS without its command, FS p for an
// image not defined or with another m (both ignored), a command the end of the job cuts
// off, and the end of the paper (96 rows here).
TEST(VirtualPrinterText, LinesAndLog) {
  const std::string x48(48, 'x'), y69 = std::string(68, 'y') + "z";
  const K ignored = K::kBytesIgnored, undefined = K::kImageUndefined, badM = K::kPrintModeInvalid;
  const Bytes prints =
      Concat({Print(1, 0), Define({Record(1, 1, 1)}), Print(0, 0), Print(2, 0), Print(255, 0),
              Print(1, 4), Print(1, 47), Print(1, 52), Print(1, 255)});
  using Log = std::vector<std::tuple<PrinterEventKind, std::uint64_t, std::uint64_t>>;
  // clang-format off
  const std::tuple<int, Bytes, std::vector<std::string>, Log> cases[] = {  // kind, offset, count
      {576, Text("A\n\nB"), {"A", "", "B"}, {}},  // the last line is printed at the job's end
      {576, Text(x48 + "\n"), {x48}, {}}, {576, Text(x48 + "Q\n"), {x48, "Q"}, {}},
      {832, Text(y69 + "!?\n"), {y69, "!?"}, {}}, {576, {0x00, 'A', 0x00, '\n'}, {"A"}, {}},
      {576, {0x01, 'A', 0x7F, 0x0C, 0x0D, '\n'}, {"A"}, {{ignored, 0, 1}, {ignored, 2, 2}}},
      {576, {0x1B, 'b', '\n'}, {"b"}, {{ignored, 0, 1}}}, {576, {0x1C, 'x', '\n'}, {"x"}, {{ignored, 0, 1}}},
      {576, {0x1B, 0x1B, 0x1C, 'p', 1, 0}, {}, {{ignored, 0, 1}, {undefined, 1, 0}}},
      {576, {0x1B, 0x1C, 'x', '\n'}, {"x"}, {{ignored, 0, 2}}}, {576, {'B', 0x1B}, {"B"}, {{ignored, 1, 1}}},
      {576, {'A', 0x1C, 'q', 1, 1, 0}, {"A"}, {{K::kIncompleteCommand, 1, 2}}},  // 2 bytes short
      {576, Text("1\n2\n3\n4\n5\n6\n"), {"1", "2", "3", "4"}, {{K::kPaperEnd, 9, 0}}},
      {576, prints, {}, {{undefined, 0, 0}, {K::kImageStored, 7, 0}, {undefined, 19, 0}, {undefined, 23, 0},
                         {undefined, 27, 0}, {badM, 31, 0}, {badM, 35, 0}, {badM, 39, 0}, {badM, 43, 0}}},
  };
  // clang-format on
  for (const auto& [width, input, lines, log] : cases) {
    SCOPED_TRACE(std::string(input.begin(), input.end()));
    VirtualPrinter printer({0x40000, width, 96});
    printer.Feed(input);
    const Paper paper = printer.TakePaper();
    ASSERT_EQ(paper.height(), kGlyphCellHeight * static_cast<int>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i)
      ExpectTextLine(paper, kGlyphCellHeight * static_cast<int>(i), lines[i]);
    Log logged;
    for (const PrinterEvent& e : printer.events())
      logged.emplace_back(e.kind, e.offset, e.count);
    EXPECT_EQ(logged, log);
  }
}

// Random streams of whole and broken commands in both forms, text and noise: whole or in
// pieces of any size, the same paper and log (and under the sanitizers no bad memory use).
TEST(VirtualPrinterStream, PiecesOfAnySizeGiveTheSamePaperAndLog) {
  const std::uint8_t noise[] = {0x1B, 0x1C, 'q', 'p', 0,   1,   2,   3,   48,  51,  '\n', 'A', 0xFF,
                                0x1D, 0x10, '(', 'L', 'k', 'v', '*', '!', 'a', 'V', 112,  50};
  const int modes[] = {0, 1, 2, 3, 48, 49, 50, 51, 4};
  std::mt19937 random(2024);
  int stored = 0, printed = 0;
  for (int round = 0; round < 200; ++round) {
    const VirtualPrinterConfig config = {static_cast<std::uint32_t>(500 + random() % 4000),
                                         8 + static_cast<int>(random() % 900), 4000};
    Bytes stream;
    for (const std::size_t length = random() % 3000; stream.size() < length;) {
      Bytes piece = {random() % 4 == 0 ? static_cast<std::uint8_t>(random())
                                       : noise[random() % sizeof noise]};
      if (const unsigned kind = random() % 8; kind == 0) {
        std::vector<Bytes> records(1 + random() % 3);
        for (Bytes& r : records)
          r = Record(1 + random() % 30, 1 + random() % 2, random());
        piece = Define(records, random() % 2 == 0);
        if (random() % 8 == 0) piece.resize(random() % piece.size());  // cut short
      } else if (kind == 1) {
        piece = Print(static_cast<int>(random() % 4), modes[random() % 9], random() % 2 == 0);
      }
      stream.insert(stream.end(), piece.begin(), piece.end());
    }
    VirtualPrinter whole(config);
    whole.Feed(stream);
    for (int piece : {1, 16, -1}) {  // -1: random sizes
      SCOPED_TRACE(::testing::Message() << "stream " << round << " in pieces of " << piece);
      VirtualPrinter split(config);
      for (std::size_t at = 0, size = 0; at < stream.size(); at += size) {
        size = std::min<std::size_t>(piece > 0 ? static_cast<std::size_t>(piece) : random() % 40,
                                     stream.size() - at);
        split.Feed(std::span<const std::uint8_t>(stream).subspan(at, size));
      }
      const MonoImageView a = split.paper().View(), b = whole.paper().View();
      EXPECT_TRUE(a.height == b.height && std::equal(a.bits, a.bits + a.stride * a.height, b.bits));
      EXPECT_TRUE(std::equal(split.events().begin(), split.events().end(), whole.events().begin(),
                             whole.events().end()));
    }
    stored += Count(whole, K::kImageStored) > 0;
    printed += Count(whole, K::kImagePrinted) > 0;
  }
  EXPECT_GT(std::min(stored, printed), 50);  // the streams do reach the interesting paths
}

// The smallest box holding every black dot: {x0, y0, x1, y1}, inclusive; all -1 if none.
std::array<int, 4> Ink(const Paper& paper) {
  std::array<int, 4> box = {-1, -1, -1, -1};
  for (int y = 0; y < paper.height(); ++y)
    for (int x = 0; x < paper.width(); ++x)
      if (paper.Dot(x, y))
        box = box[0] < 0 ? std::array{x, y, x, y}
                         : std::array{std::min(box[0], x), box[1], std::max(box[2], x), y};
  return box;
}

// The commands receipts are made of, each with "H" (ink in cell columns 1 to 10, rows 4 to
// 17) or a picture: where the ink lands and how far the paper feeds tell that every
// parameter was taken, and nothing more.
TEST(VirtualPrinterReceipt, CommandsPlaceAndScaleWhatTheyPrint) {
  const Bytes h = Text("H\n");
  using Box = std::array<int, 4>;
  const Box plain = {1, 4, 10, 17};
  const K skipped = K::kCommandSkipped, graphics = K::kGraphicsPrinted,
          box = K::kPlaceholderPrinted;
  // clang-format off
  const std::tuple<const char*, Bytes, int, Box, std::vector<PrinterEventKind>> cases[] = {
      {"ESC @ resets", Concat({{0x1B, 'E', 1, 0x1D, '!', 0x11, 0x1B, 'a', 2, 0x1B, '3', 50, 'X', 0x1B, '@'}, h}), 24, plain, {}},
      {"ESC a 1 centres", Concat({{0x1B, 'a', 1}, h}), 24, {283, 4, 292, 17}, {}},
      {"ESC a 50 right", Concat({{0x1B, 'a', 50}, h}), 24, {565, 4, 574, 17}, {}},
      {"GS ! 2 x 2", Concat({{0x1D, '!', 0x11}, h}), 48, {2, 8, 21, 35}, {}},
      {"GS ! tall beside normal: one baseline", Concat({{0x1D, '!', 0x01, 'H', 0x1D, '!', 0}, h}), 48, {1, 8, 22, 41}, {}},
      {"ESC ! bold, double", Concat({{0x1B, '!', 0x38}, h}), 48, {2, 8, 23, 35}, {}},
      {"ESC 3 40 spaces lines", Concat({{0x1B, '3', 40}, h, {'\n'}}), 80, plain, {}},
      {"ESC 3 0: at least the line", Concat({{0x1B, '3', 0}, h, {'\n', 0x1B, '2', '\n'}}), 48, plain, {}},
      {"ESC J feeds dots", Concat({Text("H"), {0x1B, 'J', 100}}), 100, plain, {}},
      {"ESC d feeds lines", Concat({Text("H"), {0x1B, 'd', 3}}), 72, plain, {}},
      {"ESC E bold", Concat({{0x1B, 'E', 1}, h}), 24, {1, 4, 11, 17}, {}},
      {"ESC - underlines the cell", Concat({{0x1B, '-', 49}, h}), 24, {0, 4, 11, 22}, {}},
      {"GS B reverses the cell", Concat({{0x1D, 'B', 1}, h}), 24, {0, 0, 11, 23}, {}},
      {"ESC $ moves", Concat({{0x1B, '$', 100, 0}, h}), 24, {101, 4, 110, 17}, {}},
      {"ESC SP spaces characters", Concat({{0x1B, ' ', 4}, Text("HH\n")}), 24, {1, 4, 26, 17}, {}},
      {"HT to the default stop", Concat({{0x09}, h}), 24, {97, 4, 106, 17}, {}},
      {"ESC D sets stops", Concat({{0x1B, 'D', 2, 1, 0, 0x09}, h}), 24, {25, 4, 34, 17}, {}},
      {"ESC * 33: 24-dot columns", {0x1B, '*', 33, 2, 0, 0xFF, 0xFF, 0xFF, 0x80, 0, 1, '\n'}, 24, {0, 0, 1, 23}, {}},
      {"ESC * 0: dots 2 x 3", {0x1B, '*', 0, 1, 0, 0x80, '\n'}, 24, {0, 0, 1, 2}, {}},
      {"GS v 0", {0x1D, 'v', '0', 0, 1, 0, 2, 0, 0xFF, 0x01}, 2, {0, 0, 7, 1}, {graphics}},
      {"GS v 0 centred, quadruple", {0x1B, 'a', 1, 0x1D, 'v', '0', 3, 1, 0, 1, 0, 0x80}, 2, {280, 0, 281, 1}, {graphics}},
      {"GS ( L 112 then 50", {0x1D, '(', 'L', 12, 0, 48, 112, 48, 2, 1, 49, 8, 0, 2, 0, 0xFF, 0x80,
                              0x1D, '(', 'L', 2, 0, 48, 50}, 2, {0, 0, 15, 1}, {graphics}},
      {"GS 8 L 112 then GS ( L 2", {0x1D, '8', 'L', 11, 0, 0, 0, 48, 112, 48, 1, 2, 49, 1, 0, 1, 0, 0x80,
                                    0x1D, '(', 'L', 2, 0, 48, 2}, 2, {0, 0, 0, 1}, {graphics}},
      {"GS V 0 cuts", {'H', 0x1D, 'V', 0}, 40, {0, 4, 571, 32}, {K::kPaperCut}},
      {"GS V 66 n feeds, then cuts", {0x1D, 'V', 66, 10}, 26, {0, 17, 571, 18}, {K::kPaperCut}},
      {"GS k EAN-13: a box", {0x1D, 'k', 2, '1', '2', '3', 0}, 162, {0, 0, 203, 161}, {box}},
      {"GS ( k QR print: a box", {0x1D, '(', 'k', 3, 0, 49, 81, 48}, 63, {0, 0, 62, 62}, {box}},
      {"code page 437 lines", {0xC4, 0xC4, '\n'}, 24, {0, 11, 23, 12}, {}},
      {"no glyph: a hollow box", {0x82, '\n'}, 24, {2, 4, 9, 19}, {}},
      {"skipped with their parameters", Concat({{0x1B, 'p', 0, 25, 250, 0x1D, 'P', 203, 203, 0x1D, '(', 'E', 3, 0, 1, 2, 3,
                                              0x1B, '&', 3, 32, 33, 2, 1, 2, 3, 4, 5, 6, 1, 7, 8, 9, 0x10, 0x04, 1,
                                              0x1B, 't', 2, 0x1C, '.', 0x1B, 'M', 0}, h}),
       24, plain, {skipped, skipped, skipped, skipped, skipped}},
  };
  // clang-format on
  for (const auto& [what, input, height, ink, log] : cases) {
    SCOPED_TRACE(what);
    VirtualPrinter printer(Config(0x40000));
    printer.Feed(input);
    const Paper paper = printer.TakePaper();
    EXPECT_EQ(paper.height(), height);
    EXPECT_EQ(Ink(paper), ink);
    std::vector<PrinterEventKind> kinds;
    for (const PrinterEvent& e : printer.events())
      kinds.push_back(e.kind);
    EXPECT_EQ(kinds, log);
    EXPECT_EQ(printer.bytesIgnored(), 0U);
  }
}

TEST(VirtualPrinterFont, EveryPrintableCharacterHasAGlyphOfItsOwn) {
  // The labels of the test sheet are compared against this font, so a blank or repeated
  // glyph would go unnoticed there.
  std::set<std::vector<std::uint16_t>> seen;
  for (int c = 0x20; c <= 0x7E; ++c) {
    std::vector<std::uint16_t> rows;
    for (int y = 0; y < kGlyphCellHeight; ++y)
      rows.push_back(GlyphRow(static_cast<std::uint8_t>(c), y));
    const bool blank =
        std::all_of(rows.begin(), rows.end(), [](std::uint16_t r) { return r == 0; });
    EXPECT_EQ(blank, c == ' ') << static_cast<char>(c);
    EXPECT_TRUE(seen.insert(rows).second) << static_cast<char>(c) << " repeats another glyph";
    // One blank column each side keeps neighbouring characters apart.
    for (std::uint16_t r : rows)
      EXPECT_EQ(r & 0x801u, 0u) << static_cast<char>(c);
  }
  EXPECT_EQ(GlyphRow(0x7F, 12), 0u);
}

}  // namespace
}  // namespace quillmark
