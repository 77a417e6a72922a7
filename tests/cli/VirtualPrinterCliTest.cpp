// render and virtual-printer end to end: the sheets of download and print-test, rendered
// from files or sent by the real tool through a FIFO into a running virtual printer, show
// each slot's picture, dot for dot, under its label. Over TCP each connection is a job, and
// the printer serves many senders, silent ones among them, and keeps to its folders.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <set>

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
    WriteFileBytes(printTest, BytesOf(BuildNvPrintTestStream(1)));

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

// A client of the virtual printer on loopback: connected at once, it sends when told.
class Client {
 public:
  explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() { Close(); }
  bool Send(const std::string& text) {
    return connected_ &&
           ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  bool Close() { return fd_ >= 0 && ::close(std::exchange(fd_, -1)) == 0 && connected_; }

 private:
  int fd_;
  bool connected_ = false;
};

// A virtual printer on a loopback port of its own.
struct TcpPrinter {
  explicit TcpPrinter(const Args& args)
      : process(Args{"virtual-printer", "--listen", "tcp:127.0.0.1:0"} + args) {
    const std::string ready = process.WaitForLine("ready: listening on tcp:127.0.0.1:");
    port = static_cast<std::uint16_t>(ready.empty() ? 0 : std::stoi(ready.substr(34)));
  }
  CliProcess process;
  std::uint16_t port = 0;
};

bool WaitForFile(const std::string& path) {
  for (int tries = 0; tries < 2000 && !std::filesystem::exists(path); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return std::filesystem::exists(path);
}

// The sheet `render` prints of `text`: what the printer must have written for that job.
Bytes SheetOf(const TempDir& dir, const std::string& text) {
  const std::string stream = dir.File("job.bin"), png = dir.File("job.png");
  WriteFileBytes(stream, Bytes(text.begin(), text.end()));
  EXPECT_EQ(RunCli({"render", "-q", stream, "-o", png}).status, 0);
  return ReadBytes(png);
}

// Two senders that stay connected, one silent and one that stops half way, cannot hold
// up a third: its job prints as job 1, long before the time-out closes the other two.
TEST_F(CliTest, AConnectionThatSendsNothingHoldsUpNoOtherJob) {
  const std::string sheets = dir.File("sheets");
  TcpPrinter printer({"-o", sheets, "--idle-timeout", "3", "--jobs", "2"});
  ASSERT_NE(printer.port, 0) << printer.process.errors();
  Client silent(printer.port), halfWay(printer.port), quick(printer.port);
  ASSERT_TRUE(halfWay.Send("late"));
  ASSERT_TRUE(quick.Send("quick\n") && quick.Close());
  ASSERT_TRUE(WaitForFile(sheets + "/job-0001.png"));
  EXPECT_EQ(ReadBytes(sheets + "/job-0001.png"), SheetOf(dir, "quick\n"));
  EXPECT_EQ(printer.process.Wait(), 0) << printer.process.errors();
  EXPECT_EQ(ReadBytes(sheets + "/job-0002.png"), SheetOf(dir, "late"));
  const std::string log = printer.process.output();
  EXPECT_NE(log.find(": nothing received for 3 s: connection closed by the printer"),
            std::string::npos)
      << log;
}

TEST_F(CliTest, OneHundredFiftySendersAtOnceGetOneSheetEach) {
  const std::string sheets = dir.File("sheets");
  TcpPrinter printer({"-o", sheets, "--jobs", "150"});
  ASSERT_NE(printer.port, 0) << printer.process.errors();
  std::vector<std::thread> senders;
  std::atomic<int> sent = 0;
  for (int i = 0; i < 150; ++i)
    senders.emplace_back([&sent, &printer, i] {
      Client client(printer.port);
      sent += client.Send("Job " + std::to_string(1000 + i) + "\n") && client.Close();
    });
  for (std::thread& sender : senders)
    sender.join();
  EXPECT_EQ(sent, 150);
  EXPECT_EQ(printer.process.Wait(), 0) << printer.process.errors();
  std::set<std::string> printed;  // each job's own sheet: 150 different ones
  for (const std::string& name : dir.Names("sheets"))
    printed.insert(ReadFileText(sheets + "/" + name));
  EXPECT_EQ(printed.size(), 150U);
}

// What is planted in the folders is never written through, a name that exists is never
// written over, numbers go on past any length, and past the budget no sheet is written,
// while the job is still read to its end (its image is in the NV store).
TEST_F(CliTest, SheetsAndStoreStayInsideTheirFoldersWithinTheBudget) {
  namespace fs = std::filesystem;
  const std::string sheets = dir.File("sheets"), store = dir.File("printer.nv");
  const std::string precious = dir.File("precious");
  WriteFileBytes(precious, Bytes{'k', 'e', 'e', 'p'});
  fs::create_directory(sheets);
  WriteFileBytes(sheets + "/job-999999999.png", Bytes(1000, 'x'));
  const std::string define = std::string("\x1Cq\x01\x01\x00\x01\x00", 7) + std::string(8, 'U');
  // clang-format off
  const std::tuple<Args, std::string, std::string, std::string> runs[] = {  // args, job, sheet, log
      {{}, "A\n", "job-1000000001.png", "job-1000000000.png in " + sheets + " is a symbolic link"},
      {{}, "B\n", "job-1000000002.png", "job 1000000002: printed"},
      {{"--max-disk", "1100"}, define + "C\n", "", "would pass the --max-disk budget of 1100 bytes"},
  };
  // clang-format on
  for (const auto& [args, job, sheet, log] : runs) {
    SCOPED_TRACE(log);
    TcpPrinter printer(Args{"-o", sheets, "--nv-store", store, "--jobs", "1"} + args);
    if (!fs::is_symlink(sheets + "/job-1000000000.png"))  // planted while it runs, at its next name
      fs::create_symlink(precious, sheets + "/job-1000000000.png");
    Client client(printer.port);
    ASSERT_TRUE(client.Send(job) && client.Close());
    EXPECT_EQ(printer.process.Wait(), 0) << printer.process.errors();
    EXPECT_NE(printer.process.output().find(log), std::string::npos) << printer.process.output();
    if (!sheet.empty()) {
      EXPECT_EQ(ReadBytes(sheets + "/" + sheet), SheetOf(dir, job));
    }
  }
  EXPECT_EQ(dir.Names("sheets"),
            (std::vector<std::string>{"job-1000000000.png", "job-1000000001.png",
                                      "job-1000000002.png", "job-999999999.png"}));
  NvMemory memory;
  ASSERT_EQ(LoadNvStore(store, 0x40000, memory), NvStoreError::kNone);
  EXPECT_EQ(memory.count(), 1);

  // A link planted as the store while the printer runs: the store is not written through it.
  {
    TcpPrinter printer({"-o", sheets, "--nv-store", store, "--jobs", "1"});
    fs::remove(store);
    fs::create_symlink(precious, store);
    Client client(printer.port);
    ASSERT_TRUE(client.Send("D\n") && client.Close());
    EXPECT_EQ(printer.process.Wait(), 1);
    EXPECT_NE(printer.process.errors().find("is a symbolic link: not written"), std::string::npos);
  }
  // And one there at the start is refused at once.
  EXPECT_EQ(
      RunCli({"virtual-printer", "--fifo", dir.File("fifo"), "-o", sheets, "--nv-store", store})
          .status,
      1);
  EXPECT_EQ(ReadBytes(precious), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(fs::is_symlink(sheets + "/job-1000000000.png"));
}

// render reads saved streams: a FIFO without a writer or an endless device is refused at
// once, as is a file past the limit (sparse, so nothing is written to make it).
TEST_F(CliTest, RenderRefusesWhatIsNoFileOrTooLong) {
  const std::string fifo = dir.File("fifo"), huge = dir.File("huge.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::resize_file((WriteFileBytes(huge, {}), huge), (64U << 20) + 1);
  for (const auto& [input, why] :
       std::vector<std::pair<std::string, std::string>>{{fifo, "it is not a regular file"},
                                                        {"/dev/zero", "it is not a regular file"},
                                                        {huge, "longer than the 64 MiB"}}) {
    const CliResult run = RunCli({"render", input, "-o", dir.File("sheet.png")});
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("sheet.png")));
}

}  // namespace
}  // namespace quillmark::testing
