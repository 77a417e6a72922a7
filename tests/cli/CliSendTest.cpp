// download and print-test end to end: the real quillmark-cli sends through a FIFO, a
// loopback TCP port and a pseudo-terminal; what arrives is compared with the core's streams.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <filesystem>

#include "CliTestSupport.h"
#include "raster/NvImage.h"
#include "streams/Streams.h"
#include "support/LoopbackTcp.h"

namespace quillmark::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class CliSend : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    WritePicture(stripes, Stripes());
    WritePicture(wide, WideTriangle());
  }

  // The stream the core builds for a command: the definition stream of stripes in slot 1
  // and the wide picture in slot 5 (A2), or the print-test stream.
  Bytes Expected(const std::string& command, std::int32_t brixMode) const {
    std::optional<ByteBlock> stream;
    if (command == "download") {
      AppState state;
      state.widthBytes = 72;
      state.portSettings.brixMode = brixMode;
      state.imageSlots[0] = ConvertPictureFile(stripes, 72).record;
      state.imageSlots[4] = ConvertPictureFile(wide, 72).record;
      stream = BuildNvDefinitionStream(state);
    } else {
      stream = BuildNvPrintTestStream(brixMode);
    }
    return Bytes(stream->bytes().begin(), stream->bytes().end());
  }

  std::vector<std::string> Args(const std::string& command, const std::string& mode,
                                const std::string& port) const {
    std::vector<std::string> args = {command, "--mode", mode, "--port", port};
    if (command == "download")
      args.insert(args.end(), {"--slot", "1=" + stripes, "--slot", "5=" + wide});
    return args;
  }

  TempDir dir;
  const std::string stripes = dir.File("stripes.bmp");
  const std::string wide = dir.File("wide.bmp");
};

struct SendCase {
  std::string command;
  std::string mode;
  std::int32_t brixMode;
};
const std::vector<SendCase> kSendCases = {{"download", "esc", 1},
                                          {"download", "plain", 0},
                                          {"print-test", "esc", 1},
                                          {"print-test", "plain", 0}};

TEST_F(CliSend, ThroughAFifoExactlyTheStreamArrives) {
  for (const SendCase& c : kSendCases) {
    SCOPED_TRACE(c.command + " " + c.mode);
    const std::string fifo = dir.File(c.command + "-" + c.mode + ".fifo");
    ASSERT_TRUE(MakeFifo(fifo));
    FifoReader reader(fifo);
    ASSERT_TRUE(reader.ok());
    const CliResult run = RunCli(Args(c.command, c.mode, fifo));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Communication Finish"), std::string::npos) << run.err;
    EXPECT_EQ(reader.Finish(), Expected(c.command, c.brixMode));
  }
}

TEST_F(CliSend, ToANetworkPrinterExactlyTheStreamArrives) {
  for (const SendCase& c : kSendCases) {
    SCOPED_TRACE(c.command + " " + c.mode);
    LoopbackReceiver printer;
    ASSERT_TRUE(printer.ok());
    const CliResult run =
        RunCli(Args(c.command, c.mode, "tcp:127.0.0.1:" + std::to_string(printer.port())));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(printer.Finish(), Expected(c.command, c.brixMode));
  }
}

TEST_F(CliSend, APortThatCannotBeOpenedIsACommunicationErrorWithTheReason) {
  const std::string unread = dir.File("unread.fifo");
  ASSERT_TRUE(MakeFifo(unread));
  struct Case {
    std::string port;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir.File("no-such-device"), "No such file or directory"},
      {"tcp:127.0.0.1:" + std::to_string(ClosedLoopbackPort()), "refused the connection"},
      {unread, "nobody is reading this FIFO"},
      {"tcp:a..b:9100", "cannot find the host a..b"},  // refused before any DNS query
  };
  for (const Case& c : cases) {
    for (const std::string command : {"download", "print-test"}) {
      const CliResult run = RunCli({command, "--port", c.port});
      EXPECT_EQ(run.status, 1) << command << " " << c.port;
      EXPECT_EQ(run.err.rfind("Communication Error\n", 0), 0u) << run.err;
      EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
      EXPECT_EQ(Count(run.err, "Communication Error"), 1u) << run.err;
    }
  }
}

TEST_F(CliSend, AnUnreadablePictureSendsNothing) {
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_TRUE(MakeFifo(fifo));
  FifoReader reader(fifo);
  const CliResult run = RunCli({"download", "--port", fifo, "--slot", "1=" + stripes, "--slot",
                                "3=" + dir.File("gone.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("slot 3: " + dir.File("gone.bmp")), std::string::npos) << run.err;
  EXPECT_TRUE(reader.Finish().empty());
}

TEST_F(CliSend, RetriesResendTheWholeStreamUntilTheLimit) {
  const CliResult run = RunCli({"print-test", "--port", dir.File("absent"), "--retries", "2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Count(run.err, "Communication Error\n"), 3u) << run.err;
  EXPECT_NE(run.err.find("retrying (attempt 2 of 3)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("retrying (attempt 3 of 3)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("gave up after 3 attempts"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Retry?"), std::string::npos) << run.err;
}

TEST_F(CliSend, AtATerminalTheUserIsAskedWhetherToRetry) {
  // The user answers yes once, then no.
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const int user = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(user, 0);
  const std::string answers = "y\nn\n";
  ASSERT_EQ(::write(terminal.master(), answers.data(), answers.size()),
            static_cast<ssize_t>(answers.size()));
  CliOptions options;
  options.stdinFd = user;
  const CliResult run = RunCli({"download", "--port", dir.File("absent")}, options);
  ::close(user);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Count(run.err, "Communication Error\n"), 2u) << run.err;
  EXPECT_EQ(Count(run.err, "Retry? [y/N] "), 2u) << run.err;
  EXPECT_NE(run.err.find("cancelled; 2 attempts failed"), std::string::npos) << run.err;

  // --retries decides without asking, even at a terminal.
  const int again = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  options.stdinFd = again;
  const CliResult limited =
      RunCli({"download", "--port", dir.File("absent"), "--retries", "0"}, options);
  ::close(again);
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err.find("Retry?"), std::string::npos) << limited.err;
}

// Everything the pseudo-terminal's program side writes, read on a thread so that the
// program never blocks on a full terminal.
class TerminalCapture {
 public:
  explicit TerminalCapture(PseudoTerminal& terminal) : terminal_(terminal) {
    thread_ = std::thread([this] {
      std::uint8_t chunk[4096];
      while (!stop_) {
        pollfd watch{terminal_.master(), POLLIN, 0};
        if (::poll(&watch, 1, 20) <= 0) continue;
        const ssize_t got = ::read(terminal_.master(), chunk, sizeof chunk);
        if (got <= 0) break;
        text_.append(reinterpret_cast<char*>(chunk), static_cast<std::size_t>(got));
      }
    });
  }
  ~TerminalCapture() { Finish(); }
  const std::string& Finish() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the last bytes come
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return text_;
  }

 private:
  PseudoTerminal& terminal_;
  std::atomic<bool> stop_{false};
  std::string text_;
  std::thread thread_;
};

TEST_F(CliSend, ProgressIsShownOnlyWhenStandardErrorIsATerminal) {
  // The largest pictures of no model make a long stream: 10 x 8184 x 2304 dots.
  const std::string big = dir.File("big.bmp");
  WritePicture(big, {8184, 600, [](int c, int r) { return (c ^ r) % 5 == 0; }});
  std::vector<std::string> slots;
  for (int slot = 1; slot <= 4; ++slot)
    slots.insert(slots.end(), {"--slot", std::to_string(slot) + "=" + big});

  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_TRUE(MakeFifo(fifo));
  {
    FifoReader reader(fifo);
    TerminalCapture screen(terminal);
    const int err = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    CliOptions options;
    options.stderrFd = err;
    std::vector<std::string> args = {"download", "--model", "none", "--port", fifo};
    args.insert(args.end(), slots.begin(), slots.end());
    const CliResult run = RunCli(args, options);
    ::close(err);
    EXPECT_EQ(run.status, 0);
    const std::size_t size = reader.Finish().size();
    const std::string shown = screen.Finish();
    const std::string total = " of " + std::to_string(size) + " bytes";
    EXPECT_NE(shown.find("\rsending 0" + total + " (0%)"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\rsending " + std::to_string(size) + total + " (100%)"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("/s"), std::string::npos) << shown;  // a rate
    // Throttled: far fewer lines than the 16-byte pieces.
    EXPECT_LT(Count(shown, "\rsending"), size / 16 / 100) << size;
  }
  {
    FifoReader reader(fifo);
    std::vector<std::string> args = {"download", "--model", "none", "--port", fifo};
    args.insert(args.end(), slots.begin(), slots.end());
    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(reader.Finish().empty());
    EXPECT_EQ(run.err.find("sending"), std::string::npos) << run.err;
  }
}

TEST_F(CliSend, ASerialPortIsSetUpAndItsMissingReadySignalEndsInACommunicationError) {
  // A pseudo-terminal, reached through a name that asks for the serial set-up. It has no
  // modem lines, so DSR never reports ready and the send gives up after 10 seconds.
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string port = dir.File("ttyQM0");
  std::filesystem::create_symlink(terminal.slavePath(), port);
  termios before{};
  ASSERT_EQ(::tcgetattr(terminal.master(), &before), 0);
  before.c_iflag |= IXON;  // flow control the set-up must switch off
  before.c_cflag |= CRTSCTS;
  ::tcsetattr(terminal.master(), TCSANOW, &before);

  const CliResult run = RunCli({"print-test", "--port", port, "--baud", "2400", "--stop-bits", "2",
                                "--parity", "even", "--data-bits", "7"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Communication Error\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("did not report ready (DSR on) for 10 seconds"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("0 of 162 bytes had been sent"), std::string::npos) << run.err;

  // The line settings stay on the terminal after the port has closed. Linux keeps a
  // pseudo-terminal at 8 data bits without parity whatever is asked, so those two are
  // not checked here.
  termios after{};
  ASSERT_EQ(::tcgetattr(terminal.master(), &after), 0);
  EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B2400));
  EXPECT_NE(after.c_cflag & CSTOPB, 0u);
  EXPECT_NE(after.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(after.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(after.c_oflag & OPOST, 0u);
}

TEST_F(CliSend, APermissionDeniedSaysHowToGetAccess) {
  // A device nobody may open. Root may open anything, so as root the tool runs as the
  // user nobody (setpriv drops the privileges).
  CliOptions options;
  if (::geteuid() == 0) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "running as root without setpriv";
    options.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
  const std::string device = dir.File("lp9");
  WriteBytes(device, {});
  ASSERT_EQ(::chmod(device.c_str(), 0), 0);
  const CliResult run = RunCli({"download", "--port", device}, options);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err.rfind("Communication Error\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("cannot open " + device + ": Permission denied"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("udev rule"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("usermod -aG"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace quillmark::testing
