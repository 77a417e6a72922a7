// convert, export, print-test -o and patch end to end: each writes exactly what the core makes
// of the same pictures. Usage errors end with 2, failed jobs with 1, and neither writes
// anything. The help and the port list (the installed files: scripts/test.d/30-packaging).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "CliTestSupport.h"

namespace quillmark::testing {
namespace {

// With and without conversion options, of a BMP and a PNG picture.
TEST_F(CliTest, ConvertWritesTheCoreRecordAndAPreviewOfEveryDot) {
  const std::string png = QUILLMARK_SOURCE_DIR "/tests/core/raster/data/pictures/rgba.png";
  struct Case {
    std::string model;
    std::int32_t widthBytes;
    std::string picture;
    Args options;
    ConversionOptions expected;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"A2", 72, wide, {}, {}},
      {"w4", 104, wide, {"--dither", "Atkinson", "--rotate", "90"}, {128, Dither::kAtkinson, false, false, 90}},
      {"none", 0, wide, {"--fit", "--invert", "--threshold", "100"}, {100, Dither::kNone, true, true, 0}},
      {"A2", 72, png, {"--dither", "floyd-steinberg", "--fit"}, {128, Dither::kFloydSteinberg, false, true, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model + " " + ::testing::PrintToString(c.options));
    const std::string record = dir.File(c.model + ".rec");
    const std::string preview = dir.File(c.model + ".png");
    const CliResult run =
        RunCli(Args{"convert", c.picture, "-o", record, "--model", c.model, "--preview", preview} +
               c.options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find(", converted with " + DescribeOptions(c.expected) + ", to") !=
                  std::string::npos,
              !c.options.empty())
        << run.err;
    // Only what is cropped says so: the 700-dot triangle on the A2.
    EXPECT_EQ(run.err.find("\nnotice: ") != std::string::npos, c.model == "A2" && c.picture == wide)
        << run.err;
    const Bytes bytes = ReadBytes(record);
    ASSERT_EQ(bytes, BytesOf(ConvertPicture(c.picture, c.widthBytes, c.expected).record));
    const std::optional<test::DecodedPng> decoded = ReadPng(preview);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width(), 8 * (bytes[0] + 256 * bytes[1]));
    ASSERT_EQ(decoded->height(), 8 * (bytes[2] + 256 * bytes[3]));
    for (int r = 0; r < decoded->height(); ++r)
      for (int c2 = 0; c2 < decoded->width(); ++c2)
        ASSERT_EQ(decoded->Dot(c2, r), test::DotAt(bytes, c2, r)) << c2 << ", " << r;
  }
}

// export, print-test -o and patch write exactly the streams the core makes of the same
// pictures; patch behind the patched header, keeping the rest of the memory image.
TEST_F(CliTest, ExportPrintTestAndPatchWriteTheCoreStreams) {
  const std::string out = dir.File("out.bin"), image = dir.File("memory.bin");
  const Bytes original =
      Concat({Bytes(ExpectedImageHeader.begin(), ExpectedImageHeader.end()), Pattern(5000)});
  const Bytes patched = Concat(
      {Bytes(PatchedImageHeader.begin(), PatchedImageHeader.end()), DefinitionStream(72, 0)});
  const std::vector<std::tuple<Args, std::string, Bytes>> cases = {
      {Args{"export", "-o", out} + SlotArgs(), out, DefinitionStream(72, 1)},
      {Args{"export", "-o", out, "--mode", "plain"} + SlotArgs(), out, DefinitionStream(72, 0)},
      {Args{"export", "-o", out, "--model", "W4", "--mode", "ESC"} + SlotArgs(), out,
       DefinitionStream(104, 1)},
      {Args{"export", "-o", out, "--model", "none", "--mode", "plain"} + SlotArgs(), out,
       DefinitionStream(0, 0)},
      {{"export", "-o", out, "--mode", "plain"}, out, DefinitionStream(72, 0, false)},  // blank
      {{"print-test", "-o", out, "--mode", "plain"}, out, BytesOf(BuildNvPrintTestStream(0))},
      {Args{"patch", image, "--mode", "plain", "--service-code", "QXV"} + SlotArgs(), image,
       Concat(
           {patched, Bytes(original.begin() + static_cast<long>(patched.size()), original.end())})},
  };
  ASSERT_TRUE(WriteFileBytes(image, original));
  for (const auto& [args, file, expected] : cases) {
    const CliResult run = RunCli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(args[0] == "patch" ? "Patch Finish" : "Write Finish"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(file), expected) << ::testing::PrintToString(args);
  }
}

// Runs quillmark-cli with `input` written into its standard input through a pipe and its
// standard output read from another pipe into `out`; a reader that leaves at once when
// `readOutput` is false.
CliResult RunPiped(const Args& args, const Bytes& input, bool readOutput = true) {
  ::signal(SIGPIPE, SIG_IGN);  // the tool may leave input unread
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
  std::thread writer([&] {
    for (std::size_t done = 0; done < input.size();) {
      const ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(in[1]);
  });
  Bytes received;
  if (!readOutput) ::close(out[0]);
  std::thread reader([&] {
    std::uint8_t buffer[65536];
    for (ssize_t n; readOutput && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
      received.insert(received.end(), buffer, buffer + n);
  });
  CliOptions options;
  options.stdinFd = in[0];
  options.stdoutFd = out[1];
  CliResult run = RunCli(args, options);
  ::close(in[0]);
  ::close(out[1]);
  writer.join();
  reader.join();
  if (readOutput) ::close(out[0]);
  run.out.assign(received.begin(), received.end());
  return run;
}

// "-" through real pipes: a picture or a stream in, the record, stream or sheet out, the
// same bytes as through files; a reader that leaves is a Write Error, and a terminal gives
// no picture.
TEST_F(CliTest, DashIsStandardInputAndOutputThroughPipes) {
  const std::string printTest = dir.File("test.bin"), definition = dir.File("logos.bin"),
                    sheet = dir.File("sheet.png");
  ASSERT_EQ(RunCli({"print-test", "-o", printTest}).status, 0);
  ASSERT_EQ(RunCli(Args{"export", "-o", definition} + SlotArgs()).status, 0);
  ASSERT_EQ(RunCli({"render", definition, printTest, "-o", sheet}).status, 0);
  struct Case {
    Args args;
    Bytes input;
    Bytes output;  // empty: the reader leaves
    std::string says;
  };
  const Args otherSlots = {"--slot", "4=" + wide, "--slot", "10=" + checker};
  const std::vector<Case> cases = {
      {{"convert", "-", "-o", "-"},
       ReadBytes(wide),
       BytesOf(ConvertPictureFile(wide, 72).record),
       "notice: standard input is 700 x 30 pixels; only its top-left 576 x 30 are kept: the A2 "
       "prints 576 dots across; --model W4 keeps 700 dots across"},
      {Args{"export", "-o", "/dev/stdout", "--slot", "1=-"} + otherSlots, ReadBytes(stripes),
       DefinitionStream(72, 1), "definition stream to /dev/stdout"},
      {{"render", "-", printTest, "-o", "-", "-q"}, ReadBytes(definition), ReadBytes(sheet), ""},
      {{"print-test", "-o", "-"},
       {},
       {},
       "Write Error\ncannot write to standard output: Broken pipe"},
  };
  for (const Case& c : cases) {
    const CliResult run = RunPiped(c.args, c.input, !c.output.empty());
    EXPECT_EQ(run.status, c.output.empty() ? 1 : 0) << ::testing::PrintToString(c.args) << run.err;
    EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), c.output) << ::testing::PrintToString(c.args);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  PseudoTerminal terminal;
  CliOptions options;
  options.stdinFd = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const CliResult run = RunCli({"convert", "-", "-o", dir.File("x.rec")}, options);
  ::close(options.stdinFd);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Read Error\nstandard input: a terminal", 0), 0u) << run.err;
}

// Every file and folder under `folder`, with the contents of the files.
std::map<std::string, Bytes> Contents(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    files[entry.path().string()] = entry.is_regular_file() ? ReadBytes(entry.path()) : Bytes{};
  return files;
}

TEST_F(CliTest, UsageErrorsEndWithStatus2AndTouchNothing) {
  const std::string image = dir.File("memory.bin");
  WriteFileBytes(image, Bytes(ExpectedImageHeader.begin(), ExpectedImageHeader.end()));
  // Each command with the mistakes made in it, as typed; IMAGE and OUT are files here.
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {"", "frobnicate", "dowload --slot 1=a.bmp", "help frobnicate"}},
      {"convert", {"a.bmp", "-o OUT", "a.bmp -o OUT --model X9", "- -o - --preview -"}},
      {"convert a.bmp -o OUT",
       {"--dither blue", "--rotate 45", "--threshold 256", "--threshold -1"}},
      {"export -o OUT",
       {"--slot 0=a.bmp", "--slot 11=a.bmp", "--slot a.bmp", "--dither", "--slot 3=",
        "--slot 1=a.bmp --slot 1=a.bmp", "--mode brix", "stray", "--slot 1=- --slot 2=-"}},
      {"download", {"", "--port LPT1", "--clear --slot 1=a.bmp"}},  // erasing needs --clear
      {"download --clear",
       {"--retries -1", "--retries many", "--baud 300", "--baud 12345", "--data-bits 6",
        "--parity mark", "--stop-bits 3", "--port tcp:h:9100 --port-type serial", "--port IMAGE",
        "--port /", "--retry-delay -1", "--retry-delay 3601"}},  // a file and a folder: no ports
      {"download --clear --port",
       {"tcp:h:65536", "tcp:h:", "tcp:h:91x", "tcp::9100", "tcp:::1:9100", "tcp:[::1]9100",
        "tcp:[::1", "tcp:127.0.0.1:0"}},
      {"print-test",
       {"--port-type usb --port /dev/x", "--slot 1=a.bmp", "-o OUT --port LPT1", "--fit"}},
      {"patch IMAGE --slot 1=a.bmp", {"", "--service-code qxv", "--service-code QXV0"}},
      {"render", {"-o OUT", "IMAGE -o OUT --model none", "- - -o OUT"}},
      {"virtual-printer -o OUT",
       {"", "--fifo OUT --listen tcp:127.0.0.1:0", "--listen 127.0.0.1:9100",
        "--fifo OUT --jobs 0"}},
  };
  const std::map<std::string, Bytes> before = Contents(dir.File(""));
  for (const auto& [command, mistakes] : cases) {
    for (const std::string& mistake : mistakes) {
      std::vector<std::string> args;
      std::istringstream words(command + " " + mistake);
      for (std::string word; words >> word;)
        args.push_back(word == "IMAGE" ? image : word == "OUT" ? dir.File("out") : word);
      const CliResult run = RunCli(args);
      EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args) << "\n" << run.err;
      EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "") << ::testing::PrintToString(args);
    }
  }
  EXPECT_EQ(Contents(dir.File("")), before);
}

TEST_F(CliTest, AFailedJobEndsWith1SaysWhyAndWritesNothing) {
  const std::string notBmp = dir.File("logo.gif");
  WriteFileBytes(notBmp, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0});
  const std::string missing = dir.File("missing.bmp");
  const std::string image = dir.File("memory.bin");
  WriteFileBytes(image, Bytes(ExpectedImageHeader.begin(), ExpectedImageHeader.end()));
  const std::string store = dir.File("printer.nv");  // neither an NV store nor a memory image
  WriteFileBytes(store, {'n', 'o', 't', ' ', 'a', ' ', 's', 't', 'o', 'r', 'e'});
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_TRUE(MakeFifo(fifo));
  FifoReader printer(fifo);
  const std::string fifoPicture = dir.File("picture.fifo");  // no writer: an open would wait
  ASSERT_TRUE(MakeFifo(fifoPicture));

  // Slot 1 is readable; every picture that is not is named with its slot.
  const Args slots = {"--slot", "1=" + stripes, "--slot", "2=" + notBmp, "--slot", "7=" + missing};
  const std::string slotErrors =
      "Read Error\nslot 2: " + notBmp +
      ": a GIF, TIFF or WebP picture, which are not read: " + "save it as PNG\nslot 7: " + missing +
      ": No such file or directory\n";
  struct Case {
    Args args;
    std::string error;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"export", "-o", dir.File("out.bin")}, "Read Error", slotErrors},
      {{"patch", image, "--service-code", "QXV"}, "Read Error", slotErrors},
      {{"download", "--port", fifo}, "Read Error", slotErrors},
      {{"convert", stripes, "-o", fifoPicture},
       "Write Error",
       fifoPicture + " is a FIFO nobody reads"},
      {{"export", "-o", "/dev/full"}, "Write Error", "/dev/full: No space left on device"},
      {{"convert", notBmp, "-o", dir.File("out.rec")}, "Read Error", notBmp + ": a GIF"},
      {{"convert", fifoPicture, "-o", dir.File("out.rec")}, "Read Error", "a FIFO"},
      {{"render", missing, "-o", dir.File("out.png")}, "Read Error", missing},
      {{"patch", store, "--service-code", "QXV"}, "Read Error", store},
      {{"virtual-printer", "--fifo", dir.File("vp"), "-o", dir.File("x"), "--nv-store", store},
       "Read Error",
       store},
      {{"export", "-o", dir.File("none/out.bin")}, "Write Error", "No such file or directory"},
  };
  const std::map<std::string, Bytes> before = Contents(dir.File(""));
  for (const Case& c : cases) {
    const CliResult run = RunCli(c.says == slotErrors ? c.args + slots : c.args);
    EXPECT_EQ(run.status, 1) << ::testing::PrintToString(c.args);
    EXPECT_EQ(run.err.rfind(c.error + "\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err << "\nlacks: " << c.says;
  }
  EXPECT_EQ(Contents(dir.File("")), before);
  EXPECT_TRUE(printer.Finish().empty());
}

TEST(CliHelp, EveryCommandHasHelpWithExamplesAndAManPageSection) {
  const std::string manPage =
      ReadFileText(std::string(QUILLMARK_SOURCE_DIR) + "/docs/quillmark-cli.1");
  for (const std::string section : {"convert", "export", "download", "print\\-test", "patch",
                                    "ports", "render", "virtual\\-printer"}) {
    std::string name = section;  // the man page writes a '-' as "\-"
    name.erase(std::remove(name.begin(), name.end(), '\\'), name.end());
    const CliResult run = RunCli({name, "--help"});
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(RunCli({"help", name}).out, run.out);
    EXPECT_NE(run.out.find("Usage: quillmark-cli " + name), std::string::npos) << run.out;
    const std::size_t examples = run.out.find("Example");
    EXPECT_NE(run.out.find("  quillmark-cli " + name, examples), std::string::npos) << run.out;
    EXPECT_NE(manPage.find("\n.SS " + section + "\n"), std::string::npos) << name;
  }
}

// The eight names with where the port map leads them: the defaults, and the user's map
// file over them, each entry marked, a symbolic link followed, a bad line said why.
TEST_F(CliTest, PortsListsTheEightNamesWhereTheMapLeadsThem) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string stable = dir.File("usb-Quill-port0");
  std::filesystem::create_symlink(terminal.slavePath(), stable);
  std::filesystem::create_directories(dir.File("config/quillmark"));
  std::ofstream(dir.File("config/quillmark/ports.conf"))
      << "LPT3 = tcp:192.168.1.50:9100\nCOM2 = " << stable << " ignore-status\nCOM5 = /dev/x\n";
  const CliResult run = RunCli({"ports"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Port map: " + dir.File("config/quillmark/ports.conf") +
                         "\n  left out, line 3: unknown port COM5"),
            std::string::npos)
      << run.out;
  // COM1 is left as it was; the defaults themselves are the port map's unit test's.
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"LPT3  tcp:192.168.1.50:9100", "network printer; from the port map"},
      {"COM1  /dev/ttyS0", ""},
      {"COM2  " + stable, "present (" + terminal.slavePath() +
                              ", serial), you may open it; from the port map, ignore-status"}};
  for (const auto& [entry, state] : lines) {
    const std::size_t at = run.out.find("\n" + entry);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_NE(run.out.substr(at, run.out.find('\n', at + 1) - at).find(state), std::string::npos)
        << run.out;
  }
  // The same for programs.
  const CliResult json = RunCli({"ports", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const std::string& entry : std::vector<std::string>{
           "\"leftOut\": [\"line 3: unknown port COM5",
           "{\"name\": \"LPT3\", \"device\": \"tcp:192.168.1.50:9100\", \"kind\": \"network\", "
           "\"present\": null, \"accessible\": null, \"mapped\": true, \"options\": []}",
           "{\"name\": \"COM2\", \"device\": \"" + stable +
               "\", \"kind\": \"serial\", \"present\": true, \"accessible\": true, \"resolved\": "
               "\"" +
               terminal.slavePath() + "\", \"mapped\": true, \"options\": [\"ignore-status\"]}"})
    EXPECT_NE(json.out.find(entry), std::string::npos) << json.out << "\nlacks " << entry;
}

}  // namespace
}  // namespace quillmark::testing
