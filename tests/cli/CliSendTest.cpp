// download and print-test end to end, through a FIFO, a loopback TCP port and
// pseudo-terminals: what arrives, what a failure says (links that break among them),
// retries, progress on a terminal, the serial set-up.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstring>
#include <filesystem>
#include <thread>

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

// The port by --port, or by QUILLMARK_PORT when --port is not given; a download of no
// pictures only with --clear.
TEST_F(CliTest, ThroughAFifoOrTcpExactlyTheStreamArrives) {
  struct Case {
    std::string command;
    std::string mode;
    bool tcpPort;
    bool byEnvironment;
  };
  for (const auto& [command, mode, tcpPort, byEnvironment] :
       {Case{"download", "esc", false, false}, Case{"download", "plain", true, false},
        Case{"print-test", "plain", false, true}, Case{"print-test", "esc", true, false},
        Case{"--clear", "esc", true, true}}) {
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
    Args args = command == "--clear" ? Args{"download", "--clear"} : Args{command};
    if (byEnvironment)
      ::setenv("QUILLMARK_PORT", port.c_str(), 1);
    else
      args = args + Args{"--port", port};
    const CliResult run =
        RunCli(args + Args{"--mode", mode} + (command == "download" ? SlotArgs() : Args{}));
    ::unsetenv("QUILLMARK_PORT");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Communication Finish"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("sending"), std::string::npos) << "progress off a terminal";
    EXPECT_EQ(tcpPort ? tcp->Finish() : fifo->Finish(),
              command == "print-test" ? BytesOf(BuildNvPrintTestStream(brixMode))
                                      : DefinitionStream(72, brixMode, command == "download"));
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
    const CliResult run = RunCli(c[0] == "download" ? Args{c[0], "--clear", "--port", c[1]}
                                                    : Args{c[0], "--port", c[1]});
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
      {nullptr,
       {"--retries", "2", "--retry-delay", "0.01"},
       3,
       0,
       "retrying in 0.01 s (attempt 3 of 3)\n"},
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
        RunCli(Args{"download", "--clear", "--port", dir.File("absent")} + c.options, options);
    if (options.stdinFd >= 0) ::close(options.stdinFd);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Count(run.err, "Communication Error\n"), c.attempts) << run.err;
    EXPECT_EQ(Count(run.err, "Retry? [y/N] "), c.questions) << run.err;
    EXPECT_NE(run.err.find(c.end), std::string::npos) << run.err;
  }
}

// A serial printer by its stable udev name: the serial set-up, from what the device is (the
// status ignored: a pseudo-terminal has no modem lines), or the parallel one asked for. A
// pseudo-terminal starts cooked, with flow control, turning each 0A into 0D 0A; whichever
// set-up, the printer receives exactly the stream.
TEST_F(CliTest, APseudoTerminalByAStableNameReceivesExactlyTheStream) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string port = dir.File("usb-Quill_Printer_0001-if00-port0");
  std::filesystem::create_symlink(terminal.slavePath(), port);
  const Bytes stream = BytesOf(BuildNvPrintTestStream(1));
  struct Case {
    Args setUp;
    speed_t speed;
    bool twoStops;
  };
  const Case cases[] = {{{"--baud", "2400", "--stop-bits", "2", "--parity", "even", "--data-bits",
                          "7", "--ignore-status"},
                         B2400,
                         true},
                        {{"--baud", "115200", "--ignore-status"}, B115200, false},
                        {{"--port-type", "parallel", "--baud", "2400"}, B4800, false}};
  for (const Case& c : cases) {
    termios before{};
    ASSERT_EQ(::tcgetattr(terminal.master(), &before), 0);
    before.c_iflag |= IXON | ICRNL;
    before.c_oflag |= OPOST | ONLCR;
    before.c_lflag |= ICANON | ECHO;
    before.c_cflag |= CRTSCTS;
    before.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    ::cfsetospeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(terminal.master(), TCSANOW, &before), 0);

    const CliResult run = RunCli(Args{"print-test", "--port", port} + c.setUp);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(terminal.Read(stream.size() + 1, 500), stream);

    // Linux keeps a pseudo-terminal at 8 data bits without parity whatever is asked.
    termios after{};
    ASSERT_EQ(::tcgetattr(terminal.master(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), c.speed);
    EXPECT_EQ((after.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_NE(after.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
  }
}

// A printer that closes the connection half way, one that resets it, a FIFO whose reader
// leaves: each a failed attempt saying so, never a success, however the race between the
// writes and the printer's close falls out (tried a few times).
TEST_F(CliTest, ALinkThatBreaksIsACommunicationErrorNeverASuccess) {
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_TRUE(MakeFifo(fifo));
  // Reads 48 bytes of what arrives on `fd`, then closes it (resetting a connection when
  // `reset`).
  auto readSomeAndLeave = [](int fd, bool reset) {
    std::uint8_t taken[48];
    for (std::size_t got = 0; got < sizeof taken;) {
      pollfd watch{fd, POLLIN, 0};
      if (::poll(&watch, 1, 10000) <= 0) break;
      const ssize_t n = ::read(fd, taken + got, sizeof taken - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    const linger now{1, 0};
    if (reset) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(fd);
  };
  for (int round = 0; round < 3; ++round) {
    for (const auto& [kind, says] : std::vector<std::pair<std::string, std::string>>{
             {"close", "the connection"},
             {"reset", "broke off the connection"},
             {"fifo", "its reader went away after 48 of 162 bytes (Broken pipe)"}}) {
      SCOPED_TRACE(kind);
      LoopbackListener printer;
      std::string port = "tcp:127.0.0.1:" + std::to_string(printer.port());
      std::thread peer;
      if (kind == "fifo") {
        port = fifo;
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        peer = std::thread(readSomeAndLeave, reader, false);
      } else {
        peer = std::thread([&printer, &readSomeAndLeave, reset = kind == "reset"] {
          readSomeAndLeave(printer.Accept(), reset);
        });
      }
      const CliResult run = round == 0
                                ? RunOnATerminal({"print-test", "--port", port, "--retries", "0"})
                                : RunCli({"print-test", "--port", port, "--retries", "0"});
      peer.join();
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_EQ(run.err.find("Communication Finish"), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("Communication Error" + std::string(round == 0 ? "\r\n" : "\n") +
                             port + ": "),
                std::string::npos)
          << run.err;
      EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
      // On a terminal the message starts on a line of its own after the progress.
      if (round == 0) {
        EXPECT_EQ(run.err.rfind("\rsending 0 of 162 bytes (0%)", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("\r\nCommunication Error\r\n"), std::string::npos) << run.err;
      }
    }
  }
}

TEST_F(CliTest, APermissionDeniedSaysHowToGetAccess) {
  // Devices nobody may open: a FIFO, and a pseudo-terminal by a serial port's name. Root
  // opens anything, so as root the tool runs as the user nobody; root's devices then call
  // for a udev rule.
  CliOptions options;
  const bool root = ::geteuid() == 0;
  if (root) {
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "running as root without setpriv";
    options.wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ok());
  const std::string fifo = dir.File("lp9");
  ASSERT_TRUE(MakeFifo(fifo));
  const std::string serial = dir.File("ttyQM9");
  std::filesystem::create_symlink(terminal.slavePath(), serial);
  for (const std::string& device : {fifo, serial}) {
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    FifoReader reader(fifo);  // so that only the permission stands in the way
    const CliResult run = RunCli({"download", "--clear", "--port", device}, options);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(
        run.err.rfind("Communication Error\ncannot open " + device + ": Permission denied", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find("usermod -aG "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("udev rule"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace quillmark::testing
