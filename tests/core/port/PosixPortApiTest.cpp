// The POSIX backends on real devices: pseudo-terminals for serial and parallel set-ups,
// FIFOs, files, folders and disks for opens and refusals, and a loopback TCP connection for
// the network port's readiness; the port map's file. Full sends through FIFOs, TCP and
// pseudo-terminals, and links that break, are checked end to end by the command-line and
// GUI tests.

#include "port/posix/PosixPortApi.h"
#include "port/posix/TcpPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

PosixPortApi ApiWith(const std::string& name, PortRoute route) {
  return PosixPortApi(PortMap{{name, std::move(route)}});
}

bool SigpipeBlocked() {
  sigset_t current;
  pthread_sigmask(SIG_BLOCK, nullptr, &current);
  return sigismember(&current, SIGPIPE) == 1;
}

// The first block device of this machine (a disk), for a refusal that never opens it.
std::string SomeBlockDevice() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error))
    if (entry.is_block_file(error)) return entry.path().string();
  return {};
}

TEST(PosixPortApi, OpensOnlyPortsOnlyOnceAtATimeAndSaysWhyAnOpenFailed) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("fifo")));
  const Bytes picture = {'B', 'M', 0x0A, 0x0D, 0};
  std::ofstream(dir.File("victim.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char*>(picture.data()), 5);
  // "" leaves LPT1 unmapped; a FIFO nobody reads fails at once instead of hanging. A file,
  // a folder and a disk are no ports: refused by what they are, before they are opened.
  std::vector<std::tuple<std::string, int, std::string>> failures = {
      {"", ENOENT, "there is no port LPT1"},
      {dir.File("missing"), ENOENT, "No such file or directory. quillmark-cli ports lists"},
      {dir.File("fifo"), ENXIO, "nobody is reading this FIFO"},
      {dir.File(""), EINVAL, "is a folder, not a printer port"},
      {dir.File("victim.bmp"), EINVAL, "is a regular file, not a printer port"},
      {SomeBlockDevice(), EINVAL, "is a block device (a disk), not a printer port"}};
  if (std::get<0>(failures.back()).empty()) failures.pop_back();  // no disk here
  for (const auto& [path, error, reason] : failures) {
    PosixPortApi api = ApiWith(path.empty() ? "COM1" : "LPT1", path);
    const PortOpenResult opened = api.Open("LPT1");
    EXPECT_EQ(opened.device, nullptr) << path;
    EXPECT_EQ(opened.error, error) << path;
    EXPECT_NE(opened.reason.find(reason), std::string::npos) << opened.reason;
  }
  std::ifstream kept(dir.File("victim.bmp"), std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(kept), {}), picture);

  FifoReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.ok());
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  for (const std::string& path : {dir.File("fifo"), pty.slavePath()}) {
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
  const std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, speed_t, tcflag_t>
      cases[] = {{0, 0, 0, 1, B1200, CS7 | CSTOPB},  // baud rate, data bits, parity, stop bits
                 {1, 1, 1, 0, B2400, CS8 | PARENB | PARODD},
                 {2, -1, 2, 0, B4800, CS8 | PARENB},
                 {3, 1, 0, 2, B9600, CS8},
                 {-3, 1, 0, 0, B19200, CS8}};
  for (const auto& [baudRate, dataBits, parity, stopBits, speed, flags] : cases) {
    SCOPED_TRACE(baudRate);
    termios tio{};
    tio.c_cflag = CS5 | PARENB | PARODD | CRTSCTS | CSTOPB;
    tio.c_iflag = IXON | IXOFF | IXANY | INPCK | ICRNL;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG;
    CommState state;
    ApplySerialSettings(state, {0, 1, 4, baudRate, dataBits, parity, stopBits});
    EXPECT_TRUE(TermiosFromCommState(state, tio));
    const tcflag_t line = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    EXPECT_EQ(std::tuple(cfgetospeed(&tio), cfgetispeed(&tio), tio.c_cflag & line),
              std::tuple(speed, speed, flags | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    CommState back;
    CommStateFromTermios(tio, back);
    EXPECT_EQ(std::tuple(back.BaudRate, back.ByteSize, back.Parity, back.StopBits),
              std::tuple(state.BaudRate, state.ByteSize, state.Parity, state.StopBits));
  }
}

// A pseudo-terminal behind a stable name, as udev makes them, is serial by what it is,
// whatever the port settings say, and raw at once. Without modem lines it is never ready
// and says so, unless its route ignores the status. (The bytes it receives with either
// set-up are checked end to end by the command-line tests.)
TEST(PosixPortApi, APseudoTerminalByAStableNameIsSerialAndReadyOnlyWhenItsStatusIsIgnored) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  TempDir dir;
  const std::string stable = dir.File("usb-Quill_Printer_0001-if00-port0");
  std::filesystem::create_symlink(pty.slavePath(), stable);
  EXPECT_EQ(DeviceKindOf(stable), DeviceKind::kSerial);
  for (const bool ignoreStatus : {false, true}) {
    PortRoute route(stable);
    route.ignoreStatus = ignoreStatus;
    PosixPortApi api = ApiWith("LPT1", route);
    AppState state(kPlatformWin32Nt);  // LPT1, parallel
    ASSERT_TRUE(OpenPrinterPort(state, api));
    EXPECT_FALSE(UsesParallelSetUp(state));
    EXPECT_EQ(IsPrinterReady(state), ignoreStatus);
    EXPECT_EQ(state.portHandle->DescribeState().find("no modem lines") != std::string::npos,
              !ignoreStatus);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.master(), &tio), 0);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  }
}

// A FIFO whose reader reads nothing fills up; then a write ends within its time-out. Once
// the reader has gone, a write breaks the link, without a SIGPIPE.
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
  EXPECT_EQ(opened.device->BrokenLink().error, EPIPE);
  EXPECT_EQ(opened.device->BrokenLink().bytesTaken, 0) << "the reader took nothing";
  EXPECT_EQ(opened.device->Close().error, EPIPE);
  opened.device.reset();
  EXPECT_FALSE(SigpipeBlocked()) << "the signal mask is given back on close";
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST(TcpPort, ReadyWhileThereIsRoomBusyWhenFullBrokenWhenGone) {
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
  EXPECT_NE(port.BrokenLink().error, 0) << "the printer closed the connection";
}

// The status a printer device reports, as the NT status byte (0x80 is ready) and as error
// bits. lp: the parallel status register's lines, busy and error read inverted. usblp: the
// USB printer-class port status byte, passed on unchanged (bit 3 no error, bit 4 selected,
// bit 5 paper empty, bits 6 and 7 reserved); no USB printer can be had here, so this table
// is all its check. The routes that ignore the status are tested on a pseudo-terminal.
TEST(PosixPortApi, PrinterStatusBecomesTheNtStatusByteAndErrorWord) {
#ifdef __linux__
  const int good = LP_PSELECD | LP_PBUSY | LP_PERRORP;  // selected, not busy, no error
  const std::tuple<int, std::uint8_t, std::uint32_t> lp[] = {
      {good, kParallelSelected, 0},
      {good | LP_PACK, kParallelSelected, 0},  // acknowledge does not matter
      {good & ~LP_PBUSY, kParallelSelected | kParallelBusy, 0},
      {good | LP_POUTPA, kParallelSelected | kParallelPaperEmpty, kCeOop},
      {good & ~LP_PERRORP, kParallelSelected | kParallelOffLine, kCeIoe},
      {good & ~LP_PSELECD, 0, kCeDns},
      {0, kParallelBusy | kParallelOffLine, kCeDns | kCeIoe},
  };
  for (const auto& [lines, status, errors] : lp) {
    EXPECT_EQ(NtStatusFromLpStatus(lines), status) << lines;
    EXPECT_EQ(CommErrorsFromNtStatus(NtStatusFromLpStatus(lines)), errors) << lines;
  }
#endif
  const std::pair<int, std::uint8_t> usb[] = {
      {0x18, kParallelSelected},                        // a ready printer
      {0x38, kParallelSelected | kParallelPaperEmpty},  // out of paper
      {0x10, kParallelSelected | kParallelOffLine},     // an error
      {0x08, 0},                                        // off line
      {0x00, kParallelOffLine},                         // what printers without the status answer
      {0xC7 | 0x18, kParallelSelected},                 // the reserved bits do not count
  };
  for (const auto& [status, nt] : usb)
    EXPECT_EQ(NtStatusFromUsbPrinterStatus(status), nt) << status;
}

// Each name reaches its default device unless the map file says otherwise; a line that
// cannot be read is left out and said why.
TEST(PortMap, DefaultsAndTheUsersFileOverThem) {
  const PortMap defaults =
      DefaultPortMap([](const std::string& path) { return path == "/dev/lp1"; });
  EXPECT_EQ(defaults.at("LPT1").target, "/dev/usb/lp0");
  EXPECT_EQ(defaults.at("LPT2").target, "/dev/lp1");
  EXPECT_EQ(defaults.at("COM4").target, "/dev/ttyS3");

  TempDir dir;
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1), 0);
  EXPECT_EQ(UserPortMapPath(), dir.File("config/quillmark/ports.conf"));
  std::filesystem::create_directories(dir.File("config/quillmark"));
  std::ofstream(UserPortMapPath()) << "# my printers\n"
                                      "lpt2 = tcp:192.168.1.50:9100  # upstairs\n"
                                      "\n"
                                      "COM1=/dev/serial/by-id/usb-x-port0 parallel ignore-status\n"
                                      "LPT9 = /dev/usb/lp1\n"
                                      "LPT3 = usb/lp1\n"
                                      "LPT4 = tcp:printer:\n"
                                      "COM2 = /dev/ttyUSB0 fast\n"
                                      "COM3 /dev/ttyUSB1\n";
  PortMapFile file;
  const PortMap map = UserPortMap(&file);
  EXPECT_TRUE(file.found);
  EXPECT_EQ(file.mapped, (std::vector<std::string>{"LPT2", "COM1"}));
  EXPECT_EQ(map.at("LPT2"), PortRoute("tcp:192.168.1.50:9100"));
  PortRoute com1("/dev/serial/by-id/usb-x-port0");
  com1.kind = DeviceKind::kParallel;
  com1.ignoreStatus = true;
  EXPECT_EQ(map.at("COM1"), com1);
  EXPECT_EQ(map.at("COM2"), DefaultPortMap().at("COM2"));
  const std::vector<std::string> problems = {
      "line 5: unknown port LPT9", "line 6: usb/lp1: a device is an absolute path",
      "line 7: tcp:printer:: the port must be a number", "line 8: unknown option fast",
      "line 9: write NAME = DEVICE"};
  ASSERT_EQ(file.problems.size(), problems.size());
  for (std::size_t i = 0; i < problems.size(); ++i)
    EXPECT_EQ(file.problems[i].rfind(problems[i], 0), 0u) << file.problems[i];
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace quillmark
