// The POSIX backends on real devices: a pseudo-terminal for serial writes, FIFOs, plain
// files and missing paths for opens and failures, and a loopback TCP connection for the
// network port's readiness. Full sends through FIFOs, TCP and a serial set-up on a
// pseudo-terminal are checked end to end by the command-line and GUI tests.

#include "port/posix/PosixPortApi.h"
#include "port/posix/TcpPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#ifdef __linux__
#include <linux/lp.h>
#endif

#include "port/PortTransport.h"
#include "support/LoopbackTcp.h"
#include "support/TestDevices.h"

namespace quillmark {
namespace {

using testing::FifoReader;
using testing::LoopbackListener;
using testing::PseudoTerminal;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

PosixPortApi ApiWith(const std::string& name, const std::string& path) {
  return PosixPortApi(PosixPortApi::DeviceMap{{name, path}});
}

bool SigpipeBlocked() {
  sigset_t current;
  pthread_sigmask(SIG_BLOCK, nullptr, &current);
  return sigismember(&current, SIGPIPE) == 1;
}

TEST(PosixPortApi, OpensOnlyOnceAtATimeAndSaysWhyAnOpenFailed) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("fifo")));
  // "" leaves LPT1 unmapped; a FIFO nobody reads fails at once instead of hanging.
  const std::pair<std::string, int> failures[] = {{"", ENOENT},
                                                  {dir.File("missing"), ENOENT},
                                                  {dir.File("fifo"), ENXIO},
                                                  {dir.File(""), EISDIR}};
  for (const auto& [path, error] : failures) {
    PosixPortApi api = ApiWith(path.empty() ? "COM1" : "LPT1", path);
    const PortOpenResult opened = api.Open("LPT1");
    EXPECT_EQ(opened.device, nullptr) << path;
    EXPECT_EQ(opened.error, error) << path;
  }

  FifoReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.ok());
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  std::ofstream(dir.File("plain")) << "x";
  for (const std::string& path : {dir.File("fifo"), pty.slavePath(), dir.File("plain")}) {
    SCOPED_TRACE(path);
    PosixPortApi api = ApiWith("LPT2", path);
    PortOpenResult first = api.Open("LPT2");
    ASSERT_NE(first.device, nullptr) << first.error;
    EXPECT_EQ(api.Open("LPT2").error, EBUSY);
    first.device.reset();
    EXPECT_NE(api.Open("LPT2").device, nullptr) << "the close gives the port back";
  }
}

// The line settings as termios flags, raw, without flow control, whatever was set before;
// read back as they were given.
TEST(PosixPortApi, SerialSettingsInTermios) {
  struct Case {
    std::int32_t baudRate, dataBits, parity, stopBits;
    speed_t speed;
    tcflag_t size;
    bool parityOn, odd, twoStops;
  };
  const Case cases[] = {{0, 0, 0, 1, B1200, CS7, false, false, true},
                        {1, 1, 1, 0, B2400, CS8, true, true, false},
                        {2, -1, 2, 0, B4800, CS8, true, false, false},
                        {3, 1, 0, 2, B9600, CS8, false, false, false},
                        {-3, 1, 0, 0, B19200, CS8, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baudRate);
    termios tio{};
    tio.c_cflag = CS5 | PARENB | PARODD | CRTSCTS | CSTOPB;
    tio.c_iflag = IXON | IXOFF | IXANY | INPCK | ICRNL;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG;
    CommState state;
    ApplySerialSettings(state, {0, 1, 4, c.baudRate, c.dataBits, c.parity, c.stopBits});
    EXPECT_TRUE(TermiosFromCommState(state, tio));
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ((tio.c_cflag & PARENB) != 0, c.parityOn);
    EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    CommState back;
    CommStateFromTermios(tio, back);
    EXPECT_EQ(std::tuple(back.BaudRate, back.ByteSize, back.Parity, back.StopBits),
              std::tuple(state.BaudRate, state.ByteSize, state.Parity, state.StopBits));
  }
}

// A pseudo-terminal, cooked and with every flow control, takes the set-up (read back
// through the port) and then every byte value unchanged, XON, XOFF, CR, LF and NUL among
// them. It has no modem lines, so it is never ready.
TEST(PosixPortApi, ASerialPortOnAPseudoTerminalPassesEveryByteUnchanged) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.master(), &tio), 0);
  tio.c_iflag |= IXON | IXOFF | IXANY | ICRNL;
  tio.c_oflag |= OPOST | ONLCR;
  tio.c_lflag |= ICANON | ECHO;
  tio.c_cflag |= CRTSCTS;
  ASSERT_EQ(tcsetattr(pty.master(), TCSANOW, &tio), 0);

  PosixPortApi api = ApiWith("COM2", pty.slavePath());
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 5, 0, 1, 0, 1};
  ASSERT_TRUE(OpenPrinterPort(state, api));
  CommState read;
  ASSERT_TRUE(state.portHandle->GetCommState(read));
  EXPECT_EQ(read.BaudRate, 1200u);
  EXPECT_EQ(read.StopBits, kTwoStopBits);
  EXPECT_FALSE(IsPrinterReady(state));

  Bytes all(512);
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<std::uint8_t>(i);
  for (std::size_t at = 0; at < all.size(); at += 16)
    ASSERT_EQ(state.portHandle->WriteFile({all.data() + at, 16}), 16u);
  EXPECT_EQ(pty.Read(all.size()), all);
}

// A FIFO whose reader reads nothing fills up; then a write ends within its time-out. Once
// the reader has gone, a write fails at once, without a SIGPIPE.
TEST(PosixPortApi, AStalledDeviceEndsTheWriteAndAGoneOneFailsItWithoutASignal) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("stuck")));
  ASSERT_FALSE(SigpipeBlocked());
  const int stuck = ::open(dir.File("stuck").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(stuck, 0);
  const int capacity = fcntl(stuck, F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  PosixPortApi api = ApiWith("LPT1", dir.File("stuck"));
  PortOpenResult opened = api.Open("LPT1");
  ASSERT_NE(opened.device, nullptr);
  ASSERT_TRUE(opened.device->SetCommTimeouts({0, 0, 0, 1, 20}));
  const Bytes piece(16, 0x55);
  std::uint32_t total = 0;
  std::uint32_t last = 0;
  do {
    last = opened.device->WriteFile(piece);
    total += last;
  } while (last == piece.size() && total <= static_cast<std::uint32_t>(capacity));
  EXPECT_EQ(total, static_cast<std::uint32_t>(capacity));
  EXPECT_EQ(last, 0u);

  ::close(stuck);
  EXPECT_EQ(opened.device->WriteFile(piece), 0u);  // EPIPE, and the test lives on
  opened.device.reset();
  EXPECT_FALSE(SigpipeBlocked()) << "the signal mask is given back on close";
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST(TcpPort, ReadyWhileThereIsRoomBusyWhenFullOffLineWhenGone) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  TcpPortApi api({"127.0.0.1", listener.port()}, kTcpConnectTimeoutMs, 0);
  PortOpenResult opened = api.Open("COM1");
  ASSERT_TRUE(opened.device) << opened.error;
  const int printer = listener.Accept();  // takes the connection and reads nothing
  ASSERT_GE(printer, 0);
  PortDevice& port = *opened.device;

  auto status = [&port] {
    std::array<std::uint8_t, 16> out{};
    std::uint32_t modem = 0;
    std::uint32_t errors = 0;
    EXPECT_TRUE(port.QueryParallelStatus(out) && port.GetCommModemStatus(modem) &&
                port.ClearCommError(errors));
    return std::tuple{out[0], modem & kMsDsrOn, errors};
  };
  EXPECT_EQ(status(), std::tuple(kParallelSelected, kMsDsrOn, 0u));

  // Fill the socket until the printer's side takes nothing more.
  port.SetCommTimeouts({0, 0, 0, 0, 0});
  const std::vector<std::uint8_t> chunk(65536, 0x55);
  for (int i = 0; i < 1000 && port.WriteFile(chunk) == chunk.size(); ++i) {
  }
  EXPECT_EQ(status(), std::tuple(static_cast<std::uint8_t>(kParallelSelected | kParallelBusy), 0u,
                                 kCeTxFull));

  ::shutdown(printer, SHUT_RDWR);
  ::close(printer);
  const auto offLine = static_cast<std::uint8_t>(kParallelSelected | kParallelOffLine);
  for (int i = 0; i < 100 && std::get<0>(status()) != offLine; ++i)
    ::usleep(10000);
  EXPECT_EQ(status(), std::tuple(offLine, 0u, kCeIoe));
}

#ifdef __linux__
TEST(PosixPortApi, ParallelStatusLinesBecomeTheNtStatusByteAndErrorWord) {
  const int good = LP_PSELECD | LP_PBUSY | LP_PERRORP;  // selected, not busy, no error
  struct Case {
    int lines;
    std::uint8_t status;
    std::uint32_t errors;
  };
  const Case cases[] = {
      {good, kParallelSelected, 0},
      {good | LP_PACK, kParallelSelected, 0},  // acknowledge does not matter
      {good & ~LP_PBUSY, kParallelSelected | kParallelBusy, 0},
      {good | LP_POUTPA, kParallelSelected | kParallelPaperEmpty, kCeOop},
      {good & ~LP_PERRORP, kParallelSelected | kParallelOffLine, kCeIoe},
      {good & ~LP_PSELECD, 0, kCeDns},
      {0, kParallelBusy | kParallelOffLine, kCeDns | kCeIoe},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    EXPECT_EQ(NtStatusFromLpStatus(c.lines), c.status);
    EXPECT_EQ(CommErrorsFromLpStatus(c.lines), c.errors);
  }
}
#endif

}  // namespace
}  // namespace quillmark
