// download and print-test end to end, through a FIFO, a loopback TCP port and
// pseudo-terminals: what arrives, what a failure says, retries, progress, the serial set-up.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstring>
#include <filesystem>

#include "CliTestSupport.h"
#include "support/LoopbackTcp.h"

namespace quillmark::testing {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Runs quillmark-cli with standard error on a terminal; `err` is what the terminal shows.
CliResult RunOnATerminal(const Args& args) {
  PseudoTerminal terminal;
  CliOptions options;
  options.stderrFd = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  CliResult run = RunCli(args, options);
  const std::vector<std::uint8_t> shown = terminal.Read(1 << 20, 200);  // all there is
  run.err.assign(shown.begin(), shown.end());
  ::close(options.stderrFd);
  return run;
}

TEST_F(CliTest, ThroughAFifoOrTcpExactlyTheStreamArrives) {
  for (const auto& [command, mode, tcpPort] :
       std::vector<std::tuple<std::string, std::string, bool>>{{"download", "esc", false},
                                                               {"download", "plain", true},
                                                               {"print-test", "plain", false},
                                                               {"print-test", "esc", true}}) {
    SCOPED_TRACE(command + " " + mode);
    const std::int32_t brixMode = mode == "esc" ? 1 : 0;
    std::optional<LoopbackReceiver> tcp;
    std::optional<FifoReader> fifo;
    std::string port = dir.File(command + mode);
    if (tcpPort) {
      tcp.emplace();
      port = "tcp:127.0.0.1:" + std::to_string(tcp->port());
    } else {
      ASSERT_TRUE(MakeFifo(port));
      fifo.emplace(port);
    }
    const CliResult run = RunCli(Args{command, "--mode", mode, "--port", port} +
                                 (command == "download" ? SlotArgs() : Args{}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Communication Finish"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("sending"), std::string::npos) << "progress off a terminal";
    EXPECT_EQ(tcpPort ? tcp->Finish() : fifo->Finish(),
              command == "download" ? DefinitionStream(72, brixMode)
                                    : ToBytes(BuildNvPrintTestStream(brixMode)));
  }
}

TEST_F(CliTest, APortThatCannotBeOpenedIsACommunicationErrorWithTheReason) {
  const std::string unread = dir.File("unread.fifo");
  ASSERT_TRUE(MakeFifo(unread));
  const std::vector<std::vector<std::string>> cases = {
      // command, port, reason
      {"download", dir.File("no-such-device"), "No such file or directory"},
      {"print-test", "tcp:127.0.0.1:" + std::to_string(ClosedLoopbackPort()),
       "refused the connection"},
      {"download", unread, "nobody is reading this FIFO"},
      {"print-test", "tcp:a..b:9100", "cannot find the host a..b"},  // no DNS query needed
      {"print-test", "tcp:[::1]:" + std::to_string(ClosedLoopbackPort()), "::1:"},
  };
  for (const std::vector<std::string>& c : cases) {
    const CliResult run = RunCli({c[0], "--port", c[1]});
    EXPECT_EQ(run.status, 1) << c[1];
    EXPECT_EQ(run.err.rfind("Communication Error\n", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c[2]), std::string::npos) << run.err;
    EXPECT_EQ(Count(run.err, "Communication Error"), 1u) << run.err;
  }
}

TEST_F(CliTest, AFailedSendIsRetriedAsAllowedOrAsTheUserAnswers) {
  struct Case {
    const char* answers;  // typed at the terminal; none: standard input is no terminal
    std::vector<std::string> options;
    std::size_t attempts;
    std::size_t questions;
    std::string end;
  };
  const std::vector<Case> cases = {
      {nullptr, {"--retries", "2"}, 3, 0, "(gave up after 3 attempts)\n"},
      {"y\nn\n", {}, 2, 2, "cancelled; 2 attempts failed\n"},
      {"Y\nyes\n\n", {}, 3, 3, "cancelled; 3 attempts failed\n"},  // Enter is no
      {"sure\n", {}, 1, 1, "cancelled; 1 attempt failed\n"},
      {"y\n\x04", {}, 2, 2, "cancelled; 2 attempts failed\n"},         // so is the end of input
      {"y\n", {"--retries", "0"}, 1, 0, "No such file or directory"},  // no question
  };
  for (const Case& c : cases) {
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.ok());
    CliOptions options;
    if (c.answers != nullptr) {
      options.stdinFd = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
      ASSERT_EQ(::write(terminal.master(), c.answers, std::strlen(c.answers)),
                static_cast<ssize_t>(std::strlen(c.answers)));
    }
    const CliResult run =
        RunCli(Args{"download", "--port", dir.File("absent")} + c.options, options);
    if (options.stdinFd >= 0) ::close(options.stdinFd);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Count(run.err, "Communication Error\n"), c.attempts) << run.err;
    EXPECT_EQ(Count(run.err, "Retry? [y/N] "), c.questions) << run.err;
    EXPECT_NE(run.err.find(c.end), std::string::npos) << run.err;
  }
}

TEST_F(CliTest, ProgressIsShownOnATerminalThrottled) {
  // A long stream: four 8184 x 600 pictures, sent in 16-byte pieces.
  const std::string big = dir.File("big.bmp");
  WritePicture(big, {8184, 600, [](int c, int r) { return (c ^ r) % 5 == 0; }});
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_TRUE(MakeFifo(fifo));
  Args args = {"download", "--model", "none", "--port", fifo};
  for (int slot = 1; slot <= 4; ++slot)
    args = args + Args{"--slot", std::to_string(slot) + "=" + big};

  FifoReader reader(fifo);
  const CliResult run = RunOnATerminal(args);
  EXPECT_EQ(run.status, 0);
  const std::size_t size = reader.Finish().size();
  const std::string& shown = run.err;
  const std::string total = " of " + std::to_string(size) + " bytes";
  EXPECT_NE(shown.find("\rsending 0" + total + " (0%)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\rsending " + std::to_string(size) + total + " (100%), "),
            std::string::npos)
      << shown;
  // Throttled: far fewer lines than pieces.
  EXPECT_LT(Count(shown, "\rsending"), size / 16 / 100) << size;
}

TEST_F(CliTest, ASerialPortIsSetUpAndItsMissingReadySignalEndsInACommunicationError) {
  // A pseudo-terminal behind a tty* name, which takes the serial set-up. It has no modem
  // lines, so DSR never reports ready and the send gives up after 10 seconds.
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string port = dir.File("ttyQM0");
  std::filesystem::create_symlink(terminal.slavePath(), port);
  termios before{};
  ASSERT_EQ(::tcgetattr(terminal.master(), &before), 0);
  before.c_iflag |= IXON;  // flow control the set-up must switch off
  before.c_cflag |= CRTSCTS;
  ::tcsetattr(terminal.master(), TCSANOW, &before);

  const CliResult run =
      RunOnATerminal({"print-test", "--port", port, "--baud", "2400", "--stop-bits", "2",
                      "--parity", "even", "--data-bits", "7"});
  EXPECT_EQ(run.status, 1);
  // On a new line after the progress (the terminal shows "\n" as "\r\n").
  EXPECT_NE(run.err.find(" (0%)\r\nCommunication Error\r\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("did not report ready (DSR on) for 10 seconds"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("0 of 162 bytes had been sent"), std::string::npos) << run.err;

  // Linux keeps a pseudo-terminal at 8 data bits without parity whatever is asked.
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

TEST_F(CliTest, APermissionDeniedSaysHowToGetAccess) {
  // Devices nobody may open. Root opens anything, so as root the tool runs as the user
  // nobody; the devices, root's, then call for the usual group of their kind.
  CliOptions options;
  const bool root = ::geteuid() == 0;
  if (root) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "running as root without setpriv";
    options.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
  for (const auto& [name, group] :
       std::vector<std::pair<std::string, std::string>>{{"lp9", "lp"}, {"ttyQM9", "dialout"}}) {
    const std::string device = dir.File(name);
    WriteBytes(device, {});
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    const CliResult run = RunCli({"download", "--port", device}, options);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(
        run.err.rfind("Communication Error\ncannot open " + device + ": Permission denied", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find("udev rule"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(root ? "usermod -aG " + group + " " : "usermod -aG "), std::string::npos)
        << run.err;
  }
}

}  // namespace
}  // namespace quillmark::testing
