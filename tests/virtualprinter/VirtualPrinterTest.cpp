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

TEST(Definition, CapacityDecidesWhatIsStored) {
  // Records of x by 1 units take 8x + 4 bytes: (1) 12, (2) 20, (3) 28, (6) 52.
  const std::vector<Bytes> old = {Record(1, 1, 1), Record(1, 1, 2), Record(1, 1, 3)};
  struct Case {
    const char* what;
    std::vector<int> widths;
    int stored;  // -1: the command is ignored and the old images stay
    PrinterEventKind refusal;
  };
  const Case cases[] = {
      {"replaces all three", {1, 2}, 2, PrinterEventKind::kImageStored},
      {"fills the memory exactly", {2, 3}, 2, PrinterEventKind::kImageStored},
      {"first too big", {6, 1}, -1, PrinterEventKind::kDefinitionIgnored},
      {"third too big", {1, 3, 2, 1}, 2, PrinterEventKind::kImagesNotStored},
      {"second too big, third would fit", {1, 6, 1}, 1, PrinterEventKind::kImagesNotStored},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VirtualPrinter printer(Config(48));
    printer.Feed(Define(old));
    std::vector<Bytes> records;
    for (int x : c.widths)
      records.push_back(Record(x, 1, static_cast<unsigned>(10 + records.size())));
    printer.ClearEvents();
    // The text behind the command prints only if all of the command's bytes were consumed.
    printer.Feed(Cat({Define(records, true), Text("Z\n")}));
    if (c.stored < 0) {
      ExpectStored(printer, old);
    } else {
      ExpectStored(printer, std::vector<Bytes>(records.begin(), records.begin() + c.stored));
    }
    if (c.refusal != PrinterEventKind::kImageStored) {
      const auto kinds = Kinds(printer);
      EXPECT_NE(std::find(kinds.begin(), kinds.end(), c.refusal), kinds.end());
    }
    EXPECT_EQ(printer.bytesIgnored(), 0U);
    ASSERT_EQ(printer.paper().height(), kGlyphCellHeight);
    ExpectTextLine(printer.paper(), 0, "Z");
  }
}

TEST(Definition, ImpossibleRecordEndsTheCommandAfterItsHeader) {
  const Bytes bad[] = {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 4, 1, 0}, {1, 0, 0x21, 1}};
  for (const Bytes& header : bad) {
    for (int position : {1, 2}) {
      SCOPED_TRACE("record " + std::to_string(position));
      VirtualPrinter printer(Config(0x40000));
      const Bytes old = Record(2, 2, 5);
      printer.Feed(Define({old}));
      const Bytes first = Record(1, 1, 6);
      Bytes stream = position == 1 ? Cat({Text("\x1Cq\x02"), header})
                                   : Cat({Text("\x1Cq\x03"), first, header});
      printer.Feed(Cat({stream, Text("OK\n")}));  // read as data again
      ExpectStored(printer, {position == 1 ? old : first});
      EXPECT_EQ(printer.events().back().kind, PrinterEventKind::kRecordInvalid);
      EXPECT_EQ(printer.events().back().image, position);
      EXPECT_FALSE(printer.inCommand());
      ExpectTextLine(printer.paper(), 0, "OK");
    }
  }
}

TEST(Definition, EmptyDefinitionKeepsTheImages) {
  VirtualPrinter printer(Config(0x40000));
  const Bytes image = Record(1, 2, 1);
  printer.Feed(Cat({Define({image}), Define({})}));
  ExpectStored(printer, {image});
  EXPECT_EQ(Kinds(printer).back(), PrinterEventKind::kDefinitionEmpty);
}

TEST(Printing, ModesScaleTheImage) {
  const Bytes image = Record(3, 2, 7);  // 24 x 16 dots
  struct Case {
    int m, sx, sy;
  };
  const Case modes[] = {{0, 1, 1}, {48, 1, 1}, {1, 2, 1}, {49, 2, 1},
                        {2, 1, 2}, {50, 1, 2}, {3, 2, 2}, {51, 2, 2}};
  for (const Case& c : modes) {
    SCOPED_TRACE("m = " + std::to_string(c.m));
    VirtualPrinter printer(Config(0x40000));
    printer.Feed(Cat({Define({image}), Print(1, c.m, c.m >= 48)}));
    ASSERT_EQ(printer.paper().height(), 16 * c.sy);
    ExpectImage(printer.paper(), 0, image, c.sx, c.sy);
    const PrinterEvent& printed = printer.events().back();
    EXPECT_EQ(printed.kind, PrinterEventKind::kImagePrinted);
    EXPECT_EQ(printed.widthDots, 24 * c.sx);
    EXPECT_EQ(printed.heightDots, 16 * c.sy);
  }
  for (int m : {4, 47, 52, 255}) {
    VirtualPrinter printer(Config(0x40000));
    printer.Feed(Cat({Define({image}), Print(1, m)}));
    EXPECT_EQ(printer.paper().height(), 0) << m;
    EXPECT_EQ(Kinds(printer).back(), PrinterEventKind::kPrintModeInvalid) << m;
  }
}

TEST(Printing, DotsBeyondThePrintWidthAreDropped) {
  struct Case {
    int width, x, m, cut;
  };
  const Case cases[] = {{576, 80, 0, 64}, {576, 73, 0, 8},   {576, 72, 1, 576},
                        {832, 104, 0, 0}, {832, 72, 3, 320}, {576, 1023, 0, 8184 - 576},
                        {580, 80, 0, 60}, {100, 10, 1, 60},  {20, 1, 3, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + " units on " + std::to_string(c.width) + " dots");
    VirtualPrinter printer(Config(0x80000, c.width));
    const Bytes image = Record(c.x, 1, static_cast<unsigned>(c.x));
    printer.Feed(Cat({Define({image}), Print(1, c.m)}));
    EXPECT_EQ(printer.paper().width(), c.width);
    ExpectImage(printer.paper(), 0, image, 1 + (c.m & 1), 1 + (c.m >> 1 & 1));
    EXPECT_EQ(printer.events().back().count, static_cast<std::uint64_t>(c.cut));
  }
}

TEST(Printing, UndefinedImagesPrintNothing) {
  VirtualPrinter printer(Config(0x40000));
  printer.Feed(Print(1, 0));  // nothing defined yet
  printer.Feed(Cat({Define({Record(1, 1, 1)}), Print(0, 0), Print(2, 0), Print(255, 0)}));
  EXPECT_EQ(printer.paper().height(), 0);
  const std::vector<PrinterEventKind> expected = {
      PrinterEventKind::kImageUndefined, PrinterEventKind::kImageStored,
      PrinterEventKind::kImageUndefined, PrinterEventKind::kImageUndefined,
      PrinterEventKind::kImageUndefined};
  EXPECT_EQ(Kinds(printer), expected);
}

TEST(Printing, PendingTextIsPrintedAboveTheImage) {
  VirtualPrinter printer(Config(0x40000));
  const Bytes image = Record(2, 1, 3);
  printer.Feed(Cat({Define({image}), Text("AB"), Print(1, 0)}));
  ASSERT_EQ(printer.paper().height(), kGlyphCellHeight + 8);
  ExpectTextLine(printer.paper(), 0, "AB");
  ExpectImage(printer.paper(), kGlyphCellHeight, image);
}

TEST(Text, LinesWrapAndLineFeedsFeed) {
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

TEST(Text, NulIsSilentAndOtherBytesAreCountedAsIgnored) {
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
    printer.Feed(c.input);
    printer.EndJob();
    std::uint64_t total = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ignored;
    for (const PrinterEvent& e : printer.events()) {
      if (e.kind != PrinterEventKind::kBytesIgnored) continue;
      ignored.emplace_back(e.offset, e.count);
      total += e.count;
    }
    EXPECT_EQ(ignored, c.ignored);
    EXPECT_EQ(printer.bytesIgnored(), total);
    VirtualPrinter clean(Config(0x40000));
    clean.Feed(Text(c.printed));
    clean.EndJob();
    ASSERT_EQ(printer.paper().height(), clean.paper().height());
    for (int y = 0; y < clean.paper().height(); ++y) {
      const auto a = printer.paper().Row(y);
      const auto b = clean.paper().Row(y);
      ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << y;
    }
  }
}

// A real definition stream from the stream builder, a print-test, and some noise.
Bytes MixedStream(std::int32_t brixMode) {
  AppState state(kPlatformWin32Nt);
  state.portSettings.brixMode = brixMode;
  const Bytes records[] = {Record(72, 20, 1), Record(5, 3, 2), Record(80, 2, 3)};
  const int slots[] = {1, 4, 10};
  for (std::size_t i = 0; i < 3; ++i)
    state.imageSlots[static_cast<std::size_t>(slots[i] - 1)] = ByteBlock::CopyOf(records[i]);
  const auto definition = BuildNvDefinitionStream(state);
  const auto test = BuildNvPrintTestStream(brixMode);
  return Cat({Bytes(definition->bytes().begin(), definition->bytes().end()),
              Bytes(test->bytes().begin(), test->bytes().end()), Text("tail\x01\x1B"), Print(4, 3),
              Text("\n")});
}

TEST(Stream, PiecesOfAnySizeGiveTheSamePaperAndLog) {
  for (std::int32_t brixMode : {0, 1}) {
    const Bytes stream = MixedStream(brixMode);
    VirtualPrinter whole(Config(0x40000));
    whole.Feed(stream);
    const Paper expected = whole.TakePaper();
    ASSERT_GT(expected.height(), 1000);
    std::mt19937 random(static_cast<unsigned>(brixMode));
    for (int piece : {1, 2, 3, 16, 4093, -1}) {  // -1: random sizes
      SCOPED_TRACE("pieces of " + std::to_string(piece));
      VirtualPrinter split(Config(0x40000));
      for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = piece > 0 ? static_cast<std::size_t>(piece) : random() % 40;
        const std::size_t take = std::min(size, stream.size() - at);
        split.Feed(std::span<const std::uint8_t>(stream).subspan(at, take));
        at += take;
      }
      const Paper paper = split.TakePaper();
      ASSERT_EQ(paper.height(), expected.height());
      for (int y = 0; y < paper.height(); ++y) {
        const auto a = paper.Row(y);
        const auto b = expected.Row(y);
        ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "row " << y;
      }
      EXPECT_TRUE(std::equal(split.events().begin(), split.events().end(), whole.events().begin(),
                             whole.events().end()));
    }
  }
}

TEST(TestSheet, ShowsTheStoredImageUnderItsLabel) {
  const Bytes image = Record(9, 4, 99);  // 72 x 32 dots
  for (std::int32_t brixMode : {0, 1}) {
    for (int slot : {1, 7, 10}) {
      SCOPED_TRACE("slot " + std::to_string(slot) + ", brixMode " + std::to_string(brixMode));
      AppState state(kPlatformWin32Nt);
      state.portSettings.brixMode = brixMode;
      state.imageSlots[static_cast<std::size_t>(slot - 1)] = ByteBlock::CopyOf(image);
      VirtualPrinter printer(VirtualPrinterConfigFor(*PrinterModelByCode("B1")));
      printer.Feed(BuildNvDefinitionStream(state)->bytes());
      printer.Feed(BuildNvPrintTestStream(brixMode)->bytes());
      EXPECT_EQ(printer.bytesIgnored(), 0U);
      const Paper paper = printer.TakePaper();
      int top = 0;
      for (int n = 1; n <= 10; ++n) {
        ExpectTextLine(paper, top, "[Image" + std::to_string(n) + "]");
        top += kGlyphCellHeight;
        if (n == slot) {
          ExpectImage(paper, top, image);
          top += 32;
        } else {
          ExpectWhiteRows(paper, top, 8);  // the blank 8 x 8 image
          top += 8;
        }
        ExpectWhiteRows(paper, top, 2 * kGlyphCellHeight);
        top += 2 * kGlyphCellHeight;
      }
      EXPECT_EQ(paper.height(), top);
    }
  }
}

TEST(Job, EndingInsideACommandDropsIt) {
  const Bytes first = Record(1, 1, 1);
  const Bytes second = Record(2, 2, 2);
  const Bytes stream = Define({first, second});
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
    SCOPED_TRACE(c.cut);
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

TEST(Job, PaperEndStopsPrintingUntilANewStrip) {
  VirtualPrinterConfig config = Config(0x40000);
  config.maxPaperRows = 30;
  VirtualPrinter printer(config);
  printer.Feed(Text("A\nB\nC\n"));
  EXPECT_EQ(printer.paper().height(), 30);
  ExpectTextLine(printer.paper(), 0, "A");
  const auto kinds = Kinds(printer);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), PrinterEventKind::kPaperEnd), 1);
  printer.TakePaper();
  printer.Feed(Text("D\n"));
  ExpectTextLine(printer.paper(), 0, "D");

  // An image is cut at the paper end too: 20 of its 32 double-height rows.
  config.maxPaperRows = 20;
  VirtualPrinter roll(config);
  const Bytes image = Record(2, 2, 4);
  roll.Feed(Cat({Define({image}), Print(1, 2)}));
  ASSERT_EQ(roll.paper().height(), 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 24; ++x)
      ASSERT_EQ(roll.paper().Dot(x, y), x < 16 && RecordDot(image, x, y / 2)) << x << "," << y;
}

}  // namespace
}  // namespace quillmark

namespace quillmark {
namespace {

using test::Bytes;

// Random streams of whole and broken commands, text and noise: whatever they hold, pieces
// of any size must give the same paper and log as the whole (and, in the sanitizer
// build, touch no memory they should not).
TEST(Stream, RandomStreamsArePieceIndependent) {
  std::mt19937 random(2024);
  const std::uint8_t alphabet[] = {0x1B, 0x1C, 'q', 'p', 0, 1, 2, 3, 48, 51, '\n', 'A', 0xFF};
  int stored = 0;
  int printed = 0;
  for (int round = 0; round < 200; ++round) {
    Bytes stream;
    const std::size_t length = random() % 3000;
    while (stream.size() < length) {
      switch (random() % 8) {
        case 0: {
          std::vector<Bytes> records;
          for (unsigned n = 1 + random() % 3; n > 0; --n)
            records.push_back(test::Record(1 + static_cast<int>(random() % 30),
                                           1 + static_cast<int>(random() % 2), random()));
          const Bytes command = test::Define(records, random() % 2 == 0);
          // Now and then cut short, so that what follows lands inside it.
          const std::size_t keep = random() % 8 == 0 ? random() % command.size() : command.size();
          stream.insert(stream.end(), command.begin(), command.begin() + static_cast<long>(keep));
          break;
        }
        case 1: {
          const Bytes command =
              test::Print(static_cast<int>(random() % 4), alphabet[random() % std::size(alphabet)]);
          stream.insert(stream.end(), command.begin(), command.end());
          break;
        }
        default:
          stream.push_back(random() % 4 == 0 ? static_cast<std::uint8_t>(random())
                                             : alphabet[random() % std::size(alphabet)]);
      }
    }
    VirtualPrinterConfig config =
        test::Config(500 + random() % 4000, 8 + static_cast<int>(random() % 900));
    config.maxPaperRows = 4000;
    VirtualPrinter whole(config);
    VirtualPrinter split(config);
    whole.Feed(stream);
    for (std::size_t at = 0; at < stream.size();) {
      const std::size_t take = std::min<std::size_t>(random() % 20, stream.size() - at);
      split.Feed(std::span<const std::uint8_t>(stream).subspan(at, take));
      at += take;
    }
    const Paper a = whole.TakePaper();
    const Paper b = split.TakePaper();
    ASSERT_EQ(a.height(), b.height()) << "round " << round;
    for (int y = 0; y < a.height(); ++y)
      ASSERT_TRUE(std::equal(a.Row(y).begin(), a.Row(y).end(), b.Row(y).begin(), b.Row(y).end()))
          << "round " << round << " row " << y;
    ASSERT_TRUE(std::equal(whole.events().begin(), whole.events().end(), split.events().begin(),
                           split.events().end()))
        << "round " << round;
    for (const PrinterEvent& e : whole.events()) {
      stored += e.kind == PrinterEventKind::kImageStored;
      printed += e.kind == PrinterEventKind::kImagePrinted;
    }
  }
  EXPECT_GT(stored, 100) << "printed " << printed;  // the streams reach the interesting paths
  EXPECT_GT(printed, 50) << "stored " << stored;
}

}  // namespace
}  // namespace quillmark
