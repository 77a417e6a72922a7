// End to end through the real quillmark-cli: convert, export and patch write exactly the
// bytes the core makes for the same pictures; usage errors, unreadable pictures, help.
#include <gtest/gtest.h>

#include <sstream>

#include "CliTestSupport.h"
#include "commands/FileCommands.h"
#include "raster/NvImage.h"
#include "streams/Streams.h"

namespace quillmark::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The definition stream the core builds for these pictures, as the GUI's File would save it.
Bytes CoreStream(const std::vector<std::pair<int, std::string>>& slots, std::int32_t widthBytes,
                 std::int32_t brixMode) {
  AppState state;
  state.widthBytes = widthBytes;
  state.portSettings.brixMode = brixMode;
  for (const auto& [slot, path] : slots)
    state.imageSlots[static_cast<std::size_t>(slot - 1)] =
        ConvertPictureFile(path, widthBytes).record;
  const std::optional<ByteBlock> stream = BuildNvDefinitionStream(state);
  return Bytes(stream->bytes().begin(), stream->bytes().end());
}

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    WritePicture(stripes, Stripes());
    WritePicture(wide, WideTriangle());
    WritePicture(checker, Checker());
  }
  TempDir dir;
  const std::string stripes = dir.File("stripes.bmp");
  const std::string wide = dir.File("wide.bmp");
  const std::string checker = dir.File("checker.bmp");
};

TEST_F(CliFiles, ConvertWritesTheRecordAndAPreviewOfEveryDot) {
  struct Case {
    const char* model;
    int cropWidth;
  };
  for (const Case& c : {Case{"A2", 576}, Case{"W4", 832}, Case{"none", 8184}, Case{"b1", 576}}) {
    SCOPED_TRACE(c.model);
    const std::string record = dir.File(std::string("wide-") + c.model + ".rec");
    const std::string preview = dir.File(std::string("wide-") + c.model + ".png");
    const CliResult run =
        RunCli({"convert", wide, "-o", record, "--model", c.model, "--preview", preview});
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes bytes = ReadBytes(record);
    ExpectRecordShowsPicture(bytes, WideTriangle(), c.cropWidth);
    const std::optional<test::DecodedPng> png = ReadPng(preview);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 8 * (bytes[0] + 256 * bytes[1]));
    EXPECT_EQ(png->height, 8 * (bytes[2] + 256 * bytes[3]));
    for (int r = 0; r < png->height; ++r)
      for (int col = 0; col < png->width; ++col)
        ASSERT_EQ(png->Dot(col, r), RecordDot(bytes, col, r)) << col << ", " << r;
  }
}

TEST_F(CliFiles, ConvertGivesTheRecordsOfTheSmallestPictures) {
  // A black pixel, and a 9 x 9 black square: 2 x 2 units, the ninth column and row spill
  // into a second byte and column.
  TestPicture one{1, 1, [](int, int) { return true; }};
  TestPicture nine{9, 9, [](int, int) { return true; }};
  WritePicture(dir.File("one.bmp"), one);
  WritePicture(dir.File("nine.bmp"), nine);
  Bytes nineRecord = {0x02, 0x00, 0x02, 0x00};
  for (int c = 0; c < 16; ++c) {
    nineRecord.push_back(c < 9 ? 0xFF : 0x00);
    nineRecord.push_back(c < 9 ? 0x80 : 0x00);
  }
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"one.bmp", {0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"nine.bmp", nineRecord},
  };
  for (const auto& [name, expected] : cases) {
    const CliResult run = RunCli({"convert", dir.File(name), "-o", dir.File(name + ".rec"), "-q"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir.File(name + ".rec")), expected) << name;
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(CliFiles, ExportIsTheCoreStreamOfTheSamePictures) {
  struct Case {
    std::vector<std::string> options;
    std::int32_t widthBytes;
    std::int32_t brixMode;
  };
  const std::vector<Case> cases = {
      {{}, 72, 1},
      {{"--mode", "plain"}, 72, 0},
      {{"--model", "W4", "--mode", "ESC"}, 104, 1},
      {{"--model", "none", "--mode", "plain"}, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string out = dir.File("stream.bin");
    std::vector<std::string> args = {
        "export", "-o",           out,      "--slot",   "10=" + checker,
        "--slot", "1=" + stripes, "--slot", "4=" + wide};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliResult run = RunCli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Write Finish"), std::string::npos);
    EXPECT_EQ(ReadBytes(out),
              CoreStream({{1, stripes}, {4, wide}, {10, checker}}, c.widthBytes, c.brixMode))
        << ::testing::PrintToString(c.options);
  }
}

TEST_F(CliFiles, ExportOfEmptySlotsIsTenBlankImages) {
  for (const auto& [mode, header] : std::vector<std::pair<std::string, Bytes>>{
           {"esc", {0x1B, 0x1C, 0x71, 0x0A}}, {"plain", {0x1C, 0x71, 0x0A}}}) {
    const std::string out = dir.File(mode + ".bin");
    ASSERT_EQ(RunCli({"export", "-o", out, "--mode", mode}).status, 0);
    Bytes expected = header;
    for (int i = 0; i < 10; ++i)
      expected.insert(expected.end(), BlankNvImage.begin(), BlankNvImage.end());
    EXPECT_EQ(ReadBytes(out), expected) << mode;
  }
}

TEST_F(CliFiles, PatchWritesHeaderAndStreamAndKeepsTheRest) {
  const std::string image = dir.File("memory.bin");
  Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  for (int i = 0; i < 5000; ++i)
    original.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  WriteBytes(image, original);

  const CliResult run = RunCli(
      {"patch", image, "--slot", "2=" + stripes, "--mode", "plain", "--service-code", "QXV"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Patch Finish"), std::string::npos);
  const Bytes stream = CoreStream({{2, stripes}}, 72, 0);
  Bytes expected(PatchedImageHeader.begin(), PatchedImageHeader.end());
  expected.insert(expected.end(), stream.begin(), stream.end());
  expected.insert(expected.end(), original.begin() + static_cast<long>(expected.size()),
                  original.end());
  EXPECT_EQ(ReadBytes(image), expected);

  // Patched once, the image no longer has the header a patch needs.
  const CliResult again = RunCli({"patch", image, "--service-code", "QXV"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err.rfind("Read Error\n", 0), 0u) << again.err;
  EXPECT_NE(again.err.find("patched before"), std::string::npos) << again.err;
  EXPECT_EQ(ReadBytes(image), expected);
}

TEST_F(CliFiles, PatchWithoutTheAccessCodeIsAUsageErrorAndTouchesNothing) {
  const std::string image = dir.File("memory.bin");
  const Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  WriteBytes(image, original);
  for (const std::vector<std::string>& code : {std::vector<std::string>{},
                                               {"--service-code", "qxv"},
                                               {"--service-code", "QXV "},
                                               {"--service-code", ""}}) {
    std::vector<std::string> args = {"patch", image, "--slot", "1=" + stripes};
    args.insert(args.end(), code.begin(), code.end());
    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(code);
    EXPECT_NE(run.err.find("patch"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(image), original);
  }
}

TEST_F(CliFiles, AnUnreadablePictureNamesFileAndSlotAndNothingIsWritten) {
  const std::string notBmp = dir.File("logo.png");
  WriteBytes(notBmp, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
  const std::string missing = dir.File("missing.bmp");
  const std::string image = dir.File("memory.bin");
  const Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  WriteBytes(image, original);

  const std::vector<std::vector<std::string>> commands = {
      {"export", "-o", dir.File("out.bin")},
      {"patch", image, "--service-code", "QXV"},
  };
  for (std::vector<std::string> args : commands) {
    args.insert(args.end(),
                {"--slot", "1=" + stripes, "--slot", "2=" + notBmp, "--slot", "7=" + missing});
    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_EQ(run.err.rfind("Read Error\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("slot 2: " + notBmp + ": not a BMP file"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("slot 7: " + missing + ": No such file or directory"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("slot 1"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.bin")));
  EXPECT_EQ(ReadBytes(image), original);

  const CliResult convert = RunCli({"convert", notBmp, "-o", dir.File("logo.rec")});
  EXPECT_EQ(convert.status, 1);
  EXPECT_NE(convert.err.find(notBmp + ": not a BMP file"), std::string::npos) << convert.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("logo.rec")));
}

TEST_F(CliFiles, AFileThatCannotBeWrittenIsAWriteErrorWithTheReason) {
  const CliResult run =
      RunCli({"export", "-o", dir.File("no-such-folder/out.bin"), "--slot", "1=" + stripes});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Write Error\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

TEST(CliUsage, MistakesOnTheCommandLineEndWithStatus2) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"convert", "a.bmp"},
      {"convert", "-o", "a.rec"},
      {"convert", "a.bmp", "-o", "a.rec", "--model", "X9"},
      {"export", "-o", "x.bin", "--slot", "0=a.bmp"},
      {"export", "-o", "x.bin", "--slot", "11=a.bmp"},
      {"export", "-o", "x.bin", "--slot", "a.bmp"},
      {"export", "-o", "x.bin", "--slot", "3="},
      {"export", "-o", "x.bin", "--slot", "1=a.bmp", "--slot", "1=b.bmp"},
      {"export", "-o", "x.bin", "--mode", "brix"},
      {"export", "-o", "x.bin", "stray"},
      {"download", "--retries", "-1"},
      {"download", "--retries", "many"},
      {"download", "--baud", "300"},
      {"download", "--data-bits", "6"},
      {"download", "--parity", "mark"},
      {"download", "--stop-bits", "3"},
      {"download", "--port", "tcp:printer"},
      {"download", "--port", "tcp:printer:99999"},
      {"download", "--port", "LPT1", "--port-type", "serial"},
      {"print-test", "--port-type", "usb", "--port", "/dev/x"},
      {"print-test", "--slot", "1=a.bmp"},
      {"patch", "image.bin"},
      {"render", "-o", "x.png"},
      {"render", "a.bin", "-o", "x.png", "--model", "none"},
      {"virtual-printer", "-o", "dir"},
      {"virtual-printer", "--fifo", "f", "--listen", "tcp:127.0.0.1:0", "-o", "dir"},
      {"virtual-printer", "--listen", "127.0.0.1:9100", "-o", "dir"},
      {"virtual-printer", "--fifo", "f", "-o", "dir", "--jobs", "0"},
  };
  for (const std::vector<std::string>& args : cases) {
    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args) << "\n" << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << ::testing::PrintToString(args);
  }
}

// The subcommands the tool's own help lists.
std::vector<std::string> Subcommands() {
  const std::string help = RunCli({"--help"}).out;
  std::vector<std::string> names;
  std::istringstream lines(help.substr(help.find("Subcommands:")));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && !line.empty())
    names.push_back(line.substr(2, line.find(' ', 2) - 2));
  return names;
}

TEST(CliHelp, EveryCommandHasHelpWithExamplesAndAManPageSection) {
  const std::vector<std::string> names = Subcommands();
  EXPECT_EQ(names, (std::vector<std::string>{"convert", "export", "download", "print-test", "patch",
                                             "ports", "render", "virtual-printer"}));
  const std::string manPage =
      ReadWholeFile(std::string(QUILLMARK_SOURCE_DIR) + "/docs/quillmark-cli.1");
  for (const std::string& name : names) {
    const CliResult run = RunCli({name, "--help"});
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_NE(run.out.find("Usage: quillmark-cli " + name), std::string::npos) << run.out;
    const std::size_t examples = run.out.find("Example");
    ASSERT_NE(examples, std::string::npos) << name;
    EXPECT_NE(run.out.find("quillmark-cli " + name, examples), std::string::npos) << run.out;
    std::string section = "\n.SS " + name + "\n";
    std::size_t dash = 0;
    while ((dash = section.find('-', dash)) != std::string::npos) {
      section.replace(dash, 1, "\\-");
      dash += 2;
    }
    EXPECT_NE(manPage.find(section), std::string::npos) << "man page section for " << name;
  }
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quillmark-cli 1.8.0\n");
}

TEST(CliPorts, ListsTheEightNamesWithTheirDevices) {
  const CliResult run = RunCli({"ports"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::pair<std::string, std::string>> ports = {
      {"LPT1", "/dev/lp0"},   {"LPT2", "/dev/lp1"},   {"LPT3", "/dev/lp2"},
      {"LPT4", "/dev/lp3"},   {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"},
      {"COM3", "/dev/ttyS2"}, {"COM4", "/dev/ttyS3"}};
  for (const auto& [name, device] : ports) {
    const std::size_t line = run.out.find("\n" + name + "  " + device);
    ASSERT_NE(line, std::string::npos) << run.out;
    const std::string rest = run.out.substr(line + 1, run.out.find('\n', line + 1) - line - 1);
    const bool present = std::filesystem::exists(device);
    EXPECT_EQ(rest.find("not present") == std::string::npos, present) << rest;
    if (present) {
      EXPECT_EQ(rest.find("you may open it") != std::string::npos,
                ::access(device.c_str(), R_OK | W_OK) == 0)
          << rest;
    }
  }
}

}  // namespace
}  // namespace quillmark::testing
