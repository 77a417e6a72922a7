// render and virtual-printer end to end: the sheets of download and print-test, rendered
// from files or sent by the real tool through a FIFO and a TCP port into a running virtual
// printer, show each slot's picture, dot for dot, under its label.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "CliTestSupport.h"
#include "virtualprinter/NvMemory.h"

namespace quillmark::testing {
namespace {

void ExpectSheetFile(const std::string& path, int widthDots) {
  const std::optional<test::DecodedPng> sheet = ReadPng(path);
  ASSERT_TRUE(sheet);
  ExpectPrintTestSheet(*sheet, CliTest::SlotPictures(), widthDots);
}

TEST_F(CliTest, RenderPrintsTheSheetOfADownloadAndAPrintTest) {
  // The 700-dot picture: cut at 576 on A2, whole on W4.
  for (const auto& [model, width] :
       std::vector<std::pair<std::string, int>>{{"A2", 576}, {"W4", 832}}) {
    SCOPED_TRACE(model);
    const std::string definition = dir.File("define.bin");
    ASSERT_EQ(RunCli(Args{"export", "-o", definition, "--model", model} + SlotArgs()).status, 0);
    const std::string printTest = dir.File("print-test.bin");
    WriteBytes(printTest, ToBytes(BuildNvPrintTestStream(1)));

    const std::string sheet = dir.File("sheet-" + model + ".png");
    const CliResult run = RunCli({"render", definition, printTest, "-o", sheet, "--model", model});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("byte 4: image 1 stored, 40 x 24 dots (124 bytes)"), std::string::npos)
        << run.err;
    ExpectSheetFile(sheet, width);
  }
}

// The print-test starts once the printer has finished the download's job: a FIFO carries
// no job boundaries, so a sender that opens it at once could join the job before.
void DownloadAndPrint(CliProcess& printer, const std::string& port, const Args& slots,
                      const std::string& model) {
  const CliResult sent = RunCli(Args{"download", "--port", port, "-q", "--model", model} + slots);
  ASSERT_EQ(sent.status, 0) << sent.err;
  ASSERT_NE(printer.WaitForLine("job 1: nothing printed"), "") << printer.errors();
  const CliResult printed = RunCli({"print-test", "--port", port, "-q"});
  ASSERT_EQ(printed.status, 0) << printed.err;
}

TEST_F(CliTest, ThroughAFifoEachJobBecomesASheetAndTheNvStoreOutlivesTheRun) {
  const std::string fifo = dir.File("printer");  // made by the virtual printer
  const std::string sheets = dir.File("sheets");
  const std::string store = dir.File("printer.nv");
  {
    CliProcess printer(
        {"virtual-printer", "--fifo", fifo, "-o", sheets, "--nv-store", store, "--jobs", "2"});
    ASSERT_NE(printer.WaitForLine("ready: reading jobs from the FIFO"), "") << printer.errors();
    DownloadAndPrint(printer, fifo, SlotArgs(), "A2");
    EXPECT_EQ(printer.Wait(), 0) << printer.errors();
    EXPECT_NE(printer.output().find("job 1: nothing printed"), std::string::npos);
    EXPECT_NE(printer.output().find("job 2: printed 576 x "), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "the FIFO it made goes with it";
  }
  EXPECT_FALSE(std::filesystem::exists(sheets + "/job-0001.png"));
  ExpectSheetFile(sheets + "/job-0002.png", 576);

  // A new run remembers the images: a print-test alone prints the same sheet, numbered on.
  CliProcess printer(
      {"virtual-printer", "--fifo", fifo, "-o", sheets, "--nv-store", store, "--jobs", "1"});
  ASSERT_NE(printer.WaitForLine("ready:"), "") << printer.errors();
  ASSERT_EQ(RunCli({"print-test", "--port", fifo, "-q"}).status, 0);
  EXPECT_EQ(printer.Wait(), 0) << printer.errors();
  EXPECT_EQ(ReadBytes(sheets + "/job-0003.png"), ReadBytes(sheets + "/job-0002.png"));
}

TEST_F(CliTest, OverTcpEachConnectionIsAJob) {
  const std::string sheets = dir.File("sheets");
  CliProcess printer({"virtual-printer", "--listen", "tcp:127.0.0.1:0", "-o", sheets, "--model",
                      "W4", "--jobs", "2"});
  const std::string ready = printer.WaitForLine("ready: listening on tcp:127.0.0.1:");
  ASSERT_NE(ready, "") << printer.errors();
  DownloadAndPrint(printer, ready.substr(ready.find("tcp:")), SlotArgs(), "W4");
  EXPECT_EQ(printer.Wait(), 0) << printer.errors();
  EXPECT_NE(printer.output().find(" bytes from 127.0.0.1:"), std::string::npos);
  ExpectSheetFile(sheets + "/job-0002.png", 832);
}

TEST_F(CliTest, SigtermOrSigintStopsItCleanlyAndSavesTheNvStore) {
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

}  // namespace
}  // namespace quillmark::testing
