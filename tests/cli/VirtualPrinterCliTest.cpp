// render and virtual-printer end to end: streams rendered to a PNG, and download and
// print-test sent by the real tool through a FIFO and a TCP port into a running virtual
// printer, whose sheets show each slot's picture, dot for dot, under its label.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "CliTestSupport.h"
#include "streams/Streams.h"
#include "virtualprinter/NvMemory.h"

namespace quillmark::testing {
namespace {

class VirtualPrinterCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    WritePicture(stripes, Stripes());
    WritePicture(wide, WideTriangle());
    WritePicture(checker, Checker());
  }

  std::vector<std::string> Slots() const {
    return {"--slot", "1=" + stripes, "--slot", "4=" + wide, "--slot", "10=" + checker};
  }
  // The pictures of Slots(), slot by slot.
  static std::vector<std::optional<TestPicture>> Pictures() {
    std::vector<std::optional<TestPicture>> slots(10);
    slots[0] = Stripes();
    slots[3] = WideTriangle();
    slots[9] = Checker();
    return slots;
  }

  TempDir dir;
  const std::string stripes = dir.File("stripes.bmp");
  const std::string wide = dir.File("wide.bmp");
  const std::string checker = dir.File("checker.bmp");
};

TEST_F(VirtualPrinterCli, RenderPrintsTheSheetOfADownloadAndAPrintTest) {
  // The wide picture is 700 dots: cut at 576 on A2, whole on W4 (88 units, 704 dots).
  for (const auto& [model, width, printed] :
       std::vector<std::tuple<std::string, int, int>>{{"A2", 576, 576}, {"W4", 832, 704}}) {
    SCOPED_TRACE(model);
    const std::string definition = dir.File("define.bin");
    std::vector<std::string> exportArgs = {"export", "-o", definition, "--model", model};
    const std::vector<std::string> slots = Slots();
    exportArgs.insert(exportArgs.end(), slots.begin(), slots.end());
    ASSERT_EQ(RunCli(exportArgs).status, 0);
    const std::string printTest = dir.File("print-test.bin");
    const std::optional<ByteBlock> stream = BuildNvPrintTestStream(1);
    WriteBytes(printTest,
               std::vector<std::uint8_t>(stream->bytes().begin(), stream->bytes().end()));

    const std::string sheet = dir.File("sheet-" + model + ".png");
    const CliResult run = RunCli({"render", definition, printTest, "-o", sheet, "--model", model});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("byte 4: image 1 stored, 40 x 24 dots (124 bytes)"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("image 4 printed normal, " + std::to_string(printed) + " x 32 dots"),
              std::string::npos)
        << run.err;
    const std::optional<test::DecodedPng> png = ReadPng(sheet);
    ASSERT_TRUE(png);
    ExpectPrintTestSheet(*png, Pictures(), width);
  }
}

TEST_F(VirtualPrinterCli, RenderOfAMissingStreamWritesNothing) {
  const std::string sheet = dir.File("sheet.png");
  const CliResult run = RunCli({"render", dir.File("absent.bin"), "-o", sheet});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Read Error\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(dir.File("absent.bin")), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(sheet));
}

// Sends download and print-test to `port`, as a user's script would.
void DownloadAndPrint(const std::string& port, const std::vector<std::string>& slots,
                      const std::string& model = "A2") {
  std::vector<std::string> download = {"download", "--port", port, "-q", "--model", model};
  download.insert(download.end(), slots.begin(), slots.end());
  const CliResult sent = RunCli(download);
  ASSERT_EQ(sent.status, 0) << sent.err;
  const CliResult printed = RunCli({"print-test", "--port", port, "-q"});
  ASSERT_EQ(printed.status, 0) << printed.err;
}

TEST_F(VirtualPrinterCli, ThroughAFifoEachJobBecomesASheetAndTheNvStoreOutlivesTheRun) {
  const std::string fifo = dir.File("printer");  // made by the virtual printer
  const std::string sheets = dir.File("sheets");
  const std::string store = dir.File("printer.nv");
  {
    CliProcess printer(
        {"virtual-printer", "--fifo", fifo, "-o", sheets, "--nv-store", store, "--jobs", "2"});
    ASSERT_TRUE(printer.started());
    ASSERT_NE(printer.WaitForLine("ready: reading jobs from the FIFO"), "") << printer.errors();
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    DownloadAndPrint(fifo, Slots());
    EXPECT_EQ(printer.Wait(), 0) << printer.errors();
    const std::string& log = printer.output();
    EXPECT_NE(log.find("job 1: nothing printed"), std::string::npos) << log;
    EXPECT_NE(log.find("  byte 4: image 1 stored, 40 x 24 dots (124 bytes)"), std::string::npos)
        << log;
    EXPECT_NE(log.find("  byte 9: image 1 printed normal, 40 x 24 dots"), std::string::npos) << log;
    EXPECT_NE(log.find("job 2: printed 576 x "), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "the FIFO it made goes with it";
  }
  EXPECT_FALSE(std::filesystem::exists(sheets + "/job-0001.png"));
  const std::optional<test::DecodedPng> sheet = ReadPng(sheets + "/job-0002.png");
  ASSERT_TRUE(sheet);
  ExpectPrintTestSheet(*sheet, Pictures(), 576);

  // A new run remembers the images: a print-test alone prints the same sheet, numbered on.
  CliProcess printer(
      {"virtual-printer", "--fifo", fifo, "-o", sheets, "--nv-store", store, "--jobs", "1"});
  ASSERT_NE(printer.WaitForLine("ready:"), "") << printer.errors();
  EXPECT_NE(printer.output().find("NV store " + store + ": 10 image(s) defined"), std::string::npos)
      << printer.output();
  ASSERT_EQ(RunCli({"print-test", "--port", fifo, "-q"}).status, 0);
  EXPECT_EQ(printer.Wait(), 0) << printer.errors();
  EXPECT_EQ(ReadBytes(sheets + "/job-0003.png"), ReadBytes(sheets + "/job-0002.png"));
}

TEST_F(VirtualPrinterCli, OverTcpEachConnectionIsAJob) {
  const std::string sheets = dir.File("sheets");
  CliProcess printer({"virtual-printer", "--listen", "tcp:127.0.0.1:0", "-o", sheets, "--model",
                      "W4", "--jobs", "2"});
  const std::string ready = printer.WaitForLine("ready: listening on tcp:127.0.0.1:");
  ASSERT_NE(ready, "") << printer.errors();
  const std::string address = ready.substr(ready.find("tcp:"));
  DownloadAndPrint(address, Slots(), "W4");
  EXPECT_EQ(printer.Wait(), 0) << printer.errors();
  const std::string& log = printer.output();
  const std::size_t job = log.find("job 1: ");
  ASSERT_NE(job, std::string::npos) << log;
  EXPECT_NE(log.substr(job, log.find('\n', job) - job).find(" bytes from 127.0.0.1:"),
            std::string::npos)
      << log;
  const std::optional<test::DecodedPng> sheet = ReadPng(sheets + "/job-0002.png");
  ASSERT_TRUE(sheet);
  ExpectPrintTestSheet(*sheet, Pictures(), 832);
}

TEST_F(VirtualPrinterCli, SigtermStopsItCleanlyAndSavesTheNvStore) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    const std::string store = dir.File("store-" + std::to_string(signal));
    CliProcess printer({"virtual-printer", "--listen", "tcp:127.0.0.1:0", "-o", dir.File("sheets"),
                        "--nv-store", store});
    ASSERT_NE(printer.WaitForLine("ready:"), "") << printer.errors();
    printer.Signal(signal);
    EXPECT_EQ(printer.Wait(), 0) << printer.errors();
    EXPECT_NE(printer.output().find("virtual printer stopped"), std::string::npos);
    NvMemory memory;
    EXPECT_EQ(LoadNvStore(store, 0x40000, memory), NvStoreError::kNone);
  }
}

TEST_F(VirtualPrinterCli, ACorruptNvStoreIsRefusedAndLeftAlone) {
  const std::string store = dir.File("printer.nv");
  const std::vector<std::uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 's', 't', 'o', 'r', 'e'};
  WriteBytes(store, garbage);
  const CliResult run = RunCli({"virtual-printer", "--fifo", dir.File("printer"), "-o",
                                dir.File("sheets"), "--nv-store", store});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Read Error\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(store), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(store), garbage);
}

}  // namespace
}  // namespace quillmark::testing
