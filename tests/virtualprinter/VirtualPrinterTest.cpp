#include <gtest/gtest.h>

#include <string>

#include "PrinterTestSupport.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

using namespace quillmark::test;  // NOLINT(google-build-using-namespace): test helpers

void ExpectStored(const VirtualPrinter& printer, const std::vector<Bytes>& records) {
  ASSERT_EQ(printer.nvMemory().count(), static_cast<int>(records.size()));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto stored = printer.nvMemory().Record(static_cast<int>(i) + 1)->bytes();
    EXPECT_EQ(Bytes(stored.begin(), stored.end()), records[i]) << "image " << i + 1;
  }
}

bool Logged(const VirtualPrinter& printer, PrinterEventKind kind) {
  const auto kinds = Kinds(printer);
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

TEST(VirtualPrinterDefine, CapacityDecidesWhatIsStored) {
  // Capacity 48. Records of x by 1 units take 8x + 4 bytes: (1) 12, (2) 20, (3) 28, (6) 52.
  const std::vector<Bytes> old = {Record(1, 1, 1), Record(1, 1, 2), Record(1, 1, 3)};
  struct Case {
    const char* what;
    std::vector<int> widths;
    int stored;  // -1: the command is ignored and the old images stay
    PrinterEventKind logged;
  };
  const Case cases[] = {
      {"replaces all three", {1, 2}, 2, PrinterEventKind::kImageStored},
      {"fills the memory exactly", {2, 3}, 2, PrinterEventKind::kImageStored},
      {"first too big", {6, 1}, -1, PrinterEventKind::kDefinitionIgnored},
      {"third too big", {1, 3, 2, 1}, 2, PrinterEventKind::kImagesNotStored},
      {"second too big, third would fit", {1, 6, 1}, 1, PrinterEventKind::kImagesNotStored},
      {"n = 0", {}, -1, PrinterEventKind::kDefinitionEmpty},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VirtualPrinter printer(Config(48));
    printer.Feed(Define(old));
    std::vector<Bytes> records;
    for (int x : c.widths)
      records.push_back(Record(x, 1, static_cast<unsigned>(10 + records.size())));
    // The text behind the command prints only if all of the command's bytes were consumed.
    printer.Feed(Cat({Define(records, true), Text("Z\n")}));
    ExpectStored(printer, c.stored < 0
                              ? old
                              : std::vector<Bytes>(records.begin(), records.begin() + c.stored));
    EXPECT_TRUE(Logged(printer, c.logged));
    EXPECT_EQ(printer.bytesIgnored(), 0U);
    ASSERT_EQ(printer.paper().height(), kGlyphCellHeight);
    ExpectTextLine(printer.paper(), 0, "Z");
  }
}

TEST(VirtualPrinterDefine, ImpossibleRecordEndsTheCommandAfterItsHeader) {
  const Bytes bad[] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 4, 1, 0}, {1, 0, 0x21, 1}};
  for (const Bytes& header : bad) {
    for (int position : {1, 2}) {
      VirtualPrinter printer(Config(0x40000));
      const Bytes old = Record(2, 2, 5);
      const Bytes first = Record(1, 1, 6);
      printer.Feed(Define({old}));
      printer.Feed(position == 1 ? Cat({Text("\x1Cq\x02"), header, Text("OK\n")})
                                 : Cat({Text("\x1Cq\x03"), first, header, Text("OK\n")}));
      ExpectStored(printer, {position == 1 ? old : first});
      EXPECT_EQ(printer.events().back().kind, PrinterEventKind::kRecordInvalid);
      EXPECT_EQ(printer.events().back().image, position);
      ExpectTextLine(printer.paper(), 0, "OK");  // read as data again
    }
  }
}

TEST(VirtualPrinterPrint, ModesScaleTheImageAndThePrintWidthCutsIt) {
  struct Case {
    int width, x, m, cut;  // cut: dot columns beyond the print width
  };
  const Case cases[] = {
      {576, 3, 0, 0},    {576, 3, 48, 0},  {576, 3, 1, 0},
      {576, 3, 49, 0},   {576, 3, 2, 0},   {576, 3, 50, 0},
      {576, 3, 3, 0},    {576, 3, 51, 0},  {576, 80, 0, 64},
      {576, 72, 1, 576}, {832, 104, 0, 0}, {832, 72, 3, 320},
      {580, 80, 0, 60},  {100, 10, 1, 60}, {576, 1023, 0, 8184 - 576},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("m = " + std::to_string(c.m) + ", x = " + std::to_string(c.x) + " on " +
                 std::to_string(c.width));
    const int sx = 1 + (c.m & 1);
    const int sy = 1 + (c.m >> 1 & 1);
    VirtualPrinter printer(Config(0x80000, c.width));
    const Bytes image = Record(c.x, 2, static_cast<unsigned>(c.x + c.m));
    printer.Feed(Cat({Define({image}), Print(1, c.m, c.m >= 48)}));
    ASSERT_EQ(printer.paper().height(), 16 * sy);
    ExpectImage(printer.paper(), 0, image, sx, sy);
    const PrinterEvent& printed = printer.events().back();
    EXPECT_EQ(printed.kind, PrinterEventKind::kImagePrinted);
    EXPECT_EQ(printed.widthDots, 8 * c.x * sx - c.cut);
    EXPECT_EQ(printed.count, static_cast<std::uint64_t>(c.cut));
  }
  for (int m : {4, 47, 52, 255}) {
    VirtualPrinter printer(Config(0x40000));
    printer.Feed(Cat({Define({Record(1, 1, 1)}), Print(1, m)}));
    EXPECT_EQ(printer.paper().height(), 0) << m;
    EXPECT_EQ(Kinds(printer).back(), PrinterEventKind::kPrintModeInvalid) << m;
  }
}

TEST(VirtualPrinterPrint, UndefinedImagesPrintNothingAndPendingTextGoesFirst) {
  VirtualPrinter printer(Config(0x40000));
  const Bytes image = Record(2, 1, 3);
  printer.Feed(Print(1, 0));  // nothing defined yet
  printer.Feed(Cat({Define({image}), Print(0, 0), Print(2, 0), Print(255, 0)}));
  EXPECT_EQ(printer.paper().height(), 0);
  const auto kinds = Kinds(printer);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), PrinterEventKind::kImageUndefined), 4);
  printer.Feed(Cat({Text("AB"), Print(1, 0)}));
  ASSERT_EQ(printer.paper().height(), kGlyphCellHeight + 8);
  ExpectTextLine(printer.paper(), 0, "AB");
  ExpectImage(printer.paper(), kGlyphCellHeight, image);
}

TEST(VirtualPrinterText, LinesWrapAndLineFeedsFeed) {
  const std::string line48(48, 'x');
  const std::string line69 = std::string(68, 'y') + "z";
  struct Case {
    int width;
    std::string input;
    std::vector<std::string> lines;  // "" is a blank line
  };
  const Case cases[] = {
      {576, "AB\n", {"AB"}},           {576, "\n\n", {"", ""}},
      {576, "A\n\nB", {"A", "", "B"}},  // the last line is printed at the end of the job
      {576, line48 + "\n", {line48}},  {576, line48 + "Q\n", {line48, "Q"}},
      {832, line69 + "\n", {line69}},  {832, line69 + "!?\n", {line69, "!?"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    VirtualPrinter printer(Config(0x40000, c.width));
    printer.Feed(Text(c.input));
    const Paper paper = printer.TakePaper();
    ASSERT_EQ(paper.height(), kGlyphCellHeight * static_cast<int>(c.lines.size()));
    for (std::size_t i = 0; i < c.lines.size(); ++i)
      ExpectTextLine(paper, kGlyphCellHeight * static_cast<int>(i), c.lines[i]);
    EXPECT_EQ(printer.paper().height(), 0);  // a fresh strip
  }
}

TEST(VirtualPrinterText, NulIsSilentAndOtherBytesAreCountedAsIgnored) {
  struct Case {
    Bytes input;
    std::string printed;  // what must come out, fed on its own
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ignored;  // offset, count
  };
  const Case cases[] = {
      {{0x00, 'A', 0x00, '\n'}, "A\n", {}},
      {{0x01, 'A', 0x7F, 0xFF, 0x0D, '\n'}, "A\n", {{0, 1}, {2, 3}}},
      {{0x1B, 'a', '\n'}, "a\n", {{0, 1}}},  // ESC without FS
      {{0x1C, 'x', '\n'}, "x\n", {{0, 1}}},  // FS without q or p
      {{0x1B, 0x1C, 'x', '\n'}, "x\n", {{0, 2}}},
      {{0x1B, 0x1B, 0x1C, 'p', 1, 0}, "", {{0, 1}}},  // the second ESC begins a command
      {{'B', 0x1B}, "B", {{1, 1}}},                   // a lone ESC at the end of the job
  };
  for (const Case& c : cases) {
    VirtualPrinter printer(Config(0x40000));
    VirtualPrinter clean(Config(0x40000));
    printer.Feed(c.input);
    clean.Feed(Text(c.printed));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ignored;
    std::uint64_t total = 0;
    printer.EndJob();
    for (const PrinterEvent& e : printer.events()) {
      if (e.kind != PrinterEventKind::kBytesIgnored) continue;
      ignored.emplace_back(e.offset, e.count);
      total += e.count;
    }
    EXPECT_EQ(ignored, c.ignored);
    EXPECT_EQ(printer.bytesIgnored(), total);
    ExpectSamePaper(printer.TakePaper(), clean.TakePaper());
  }
}

// Streams fed whole and in pieces of any size give the same paper and log: the real
// definition and print-test streams in both command forms, then random mixes of whole and
// broken commands, text and noise (in the sanitizer build, also a hunt for bad memory use).
TEST(VirtualPrinterStream, PiecesOfAnySizeGiveTheSamePaperAndLog) {
  const std::uint8_t noise[] = {0x1B, 0x1C, 'q', 'p', 0, 1, 2, 3, 48, 51, '\n', 'A', 0xFF};
  const int modes[] = {0, 1, 2, 3, 48, 49, 50, 51, 4};
  std::mt19937 random(2024);
  int stored = 0;
  int printed = 0;
  for (int round = 0; round < 202; ++round) {
    SCOPED_TRACE("stream " + std::to_string(round));
    Bytes stream;
    VirtualPrinterConfig config = Config(0x40000);
    if (round < 2) {
      AppState state(kPlatformWin32Nt);
      state.portSettings.brixMode = round;
      state.imageSlots[0] = ByteBlock::CopyOf(Record(72, 20, 1));
      state.imageSlots[9] = ByteBlock::CopyOf(Record(80, 2, 3));
      stream = Cat({Of(BuildNvDefinitionStream(state)), Of(BuildNvPrintTestStream(round))});
    } else {
      config = Config(500 + random() % 4000, 8 + static_cast<int>(random() % 900));
      for (const std::size_t length = random() % 3000; stream.size() < length;) {
        Bytes piece;
        if (const unsigned kind = random() % 8; kind == 0) {
          std::vector<Bytes> records(1 + random() % 3);
          for (Bytes& r : records)
            r = Record(1 + static_cast<int>(random() % 30), 1 + static_cast<int>(random() % 2),
                       random());
          piece = Define(records, random() % 2 == 0);
          if (random() % 8 == 0) piece.resize(random() % piece.size());  // cut short
        } else if (kind == 1) {
          piece = Print(static_cast<int>(random() % 4), modes[random() % std::size(modes)]);
        } else {
          piece = {random() % 4 == 0 ? static_cast<std::uint8_t>(random())
                                     : noise[random() % std::size(noise)]};
        }
        stream.insert(stream.end(), piece.begin(), piece.end());
      }
    }
    config.maxPaperRows = 4000;
    VirtualPrinter whole(config);
    whole.Feed(stream);
    for (int piece : {1, 16, -1}) {  // -1: random sizes
      VirtualPrinter split(config);
      for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = piece > 0 ? static_cast<std::size_t>(piece) : random() % 40;
        const std::size_t take = std::min(size, stream.size() - at);
        split.Feed(std::span<const std::uint8_t>(stream).subspan(at, take));
        at += take;
      }
      ExpectSamePaper(split.paper(), whole.paper());
      EXPECT_TRUE(std::equal(split.events().begin(), split.events().end(), whole.events().begin(),
                             whole.events().end()));
    }
    stored += Logged(whole, PrinterEventKind::kImageStored);
    printed += Logged(whole, PrinterEventKind::kImagePrinted);
  }
  EXPECT_GT(stored, 50);  // the streams do reach the interesting paths
  EXPECT_GT(printed, 50);
}

TEST(VirtualPrinterTestSheet, ShowsTheStoredImageUnderItsLabel) {
  const Bytes image = Record(9, 4, 99);  // 72 x 32 dots
  for (std::int32_t brixMode : {0, 1}) {
    for (int slot : {1, 7, 10}) {
      SCOPED_TRACE("slot " + std::to_string(slot) + ", brixMode " + std::to_string(brixMode));
      AppState state(kPlatformWin32Nt);
      state.portSettings.brixMode = brixMode;
      state.imageSlots[static_cast<std::size_t>(slot - 1)] = ByteBlock::CopyOf(image);
      VirtualPrinter printer(VirtualPrinterConfigFor(*PrinterModelByCode("B1")));
      printer.Feed(Cat({Of(BuildNvDefinitionStream(state)), Of(BuildNvPrintTestStream(brixMode))}));
      EXPECT_EQ(printer.bytesIgnored(), 0U);
      const Paper paper = printer.TakePaper();
      int top = 0;
      for (int n = 1; n <= 10; ++n) {
        ExpectTextLine(paper, top, "[Image" + std::to_string(n) + "]");
        top += kGlyphCellHeight;
        // Under the label the image, or the blank 8 x 8 one; then two empty lines.
        const Bytes shown = n == slot ? image : Bytes(BlankNvImage.begin(), BlankNvImage.end());
        ExpectImage(paper, top, shown);
        top += 8 * shown[2];
        ExpectTextLine(paper, top, "");
        ExpectTextLine(paper, top + kGlyphCellHeight, "");
        top += 2 * kGlyphCellHeight;
      }
      EXPECT_EQ(paper.height(), top);
    }
  }
}

TEST(VirtualPrinterJob, EndingInsideACommandDropsIt) {
  const Bytes stream = Define({Record(1, 1, 1), Record(2, 2, 2)});
  struct Case {
    std::size_t cut;  // bytes of `stream` fed
    int stored;
    std::uint64_t missing;
  };
  const Case cases[] = {
      {2, 0, 1},                      // FS q
      {3 + 12 + 1, 1, 3},             // inside the second header
      {3 + 12 + 4 + 10, 1, 32 - 10},  // inside the second raster
  };
  for (const Case& c : cases) {
    VirtualPrinter printer(Config(0x40000));
    printer.Feed(std::span<const std::uint8_t>(stream).first(c.cut));
    EXPECT_TRUE(printer.inCommand());
    printer.EndJob();
    EXPECT_EQ(printer.nvMemory().count(), c.stored);
    EXPECT_EQ(printer.events().back().kind, PrinterEventKind::kIncompleteCommand);
    EXPECT_EQ(printer.events().back().count, c.missing);
    printer.Feed(Text("A\n"));  // a new job starts from a clean state
    ExpectTextLine(printer.paper(), 0, "A");
  }
}

TEST(VirtualPrinterJob, PaperEndStopsPrintingUntilANewStrip) {
  VirtualPrinterConfig config = Config(0x40000);
  config.maxPaperRows = 30;
  VirtualPrinter printer(config);
  const Bytes image = Record(2, 2, 4);
  printer.Feed(Cat({Define({image}), Text("A\n"), Print(1, 2), Text("C\n")}));
  ASSERT_EQ(printer.paper().height(), 30);
  ExpectTextLine(printer.paper(), 0, "A");
  for (int y = 24; y < 30; ++y)  // 6 of the image's 32 double-height rows
    for (int x = 0; x < 24; ++x)
      ASSERT_EQ(printer.paper().Dot(x, y), x < 16 && RecordDot(image, x, (y - 24) / 2));
  const auto kinds = Kinds(printer);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), PrinterEventKind::kPaperEnd), 1);
  printer.TakePaper();
  printer.Feed(Text("D\n"));
  ExpectTextLine(printer.paper(), 0, "D");
}

}  // namespace
}  // namespace quillmark
