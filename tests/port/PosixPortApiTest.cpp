// The POSIX backend on real devices: a pseudo-terminal for the serial set-up and writes, a
// FIFO for the parallel path and full sends, plain files and missing paths for failures.

#include "port/posix/PosixPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <linux/lp.h>
#endif

#include "port/PortTransport.h"
#include "port/ScriptedPortApi.h"
#include "support/TestDevices.h"

namespace quillmark {
namespace {

using testing::FifoReader;
using testing::PseudoTerminal;
using testing::RecordedProgress;
using testing::TempDir;

ByteBlock Pattern(std::uint32_t size) {
  auto block = ByteBlock::Allocate(size);
  for (std::uint32_t i = 0; i < size; ++i)
    block->data()[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 8));
  return std::move(*block);
}

PosixPortApi ApiWith(const std::string& name, const std::string& path) {
  return PosixPortApi(PosixPortApi::DeviceMap{{name, path}});
}

bool SigpipeBlocked() {
  sigset_t current;
  pthread_sigmask(SIG_BLOCK, nullptr, &current);
  return sigismember(&current, SIGPIPE) == 1;
}

TEST(PosixPortApi, FailedOpensReportTheSystemError) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("unread")));
  struct Case {
    std::string name;  // opened as "LPT1", mapped to this path; "" leaves LPT1 unmapped
    int error;
  };
  const Case cases[] = {
      {"", ENOENT},
      {dir.File("missing"), ENOENT},
      {dir.File("unread"), ENXIO},  // a FIFO nobody reads: no hang, a failed open
      {dir.File(""), EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PosixPortApi api = c.name.empty() ? ApiWith("COM1", dir.File("x")) : ApiWith("LPT1", c.name);
    const PortOpenResult opened = api.Open("LPT1");
    EXPECT_EQ(opened.device, nullptr);
    EXPECT_EQ(opened.error, c.error);

    // The transport hands the error on.
    AppState state(kPlatformWin32Nt);
    const SendReport report = SendBlock(state, api, Pattern(4), nullptr);
    EXPECT_EQ(report.result, SendResult::kOpenFailed);
    EXPECT_EQ(report.openError, c.error);
  }
}

TEST(PosixPortApi, APortOpensOnlyOnceAtATime) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("fifo")));
  FifoReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.ok());
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  const std::string plain = dir.File("plain.bin");
  std::ofstream(plain) << "x";

  for (const std::string& path : {dir.File("fifo"), pty.slavePath(), plain}) {
    SCOPED_TRACE(path);
    PosixPortApi api = ApiWith("LPT2", path);
    PortOpenResult first = api.Open("LPT2");
    ASSERT_NE(first.device, nullptr) << first.error;
    const PortOpenResult second = api.Open("LPT2");
    EXPECT_EQ(second.device, nullptr);
    EXPECT_EQ(second.error, EBUSY);
    first.device.reset();
    EXPECT_NE(api.Open("LPT2").device, nullptr) << "the close gives the port back";
  }
}

// The pty's own termios as the port set it, read on the port's side.
termios PortTermios(const AppState& state) {
  termios tio{};
  EXPECT_EQ(tcgetattr(PosixPortDescriptor(*state.portHandle), &tio), 0);
  return tio;
}

// A pseudo-terminal keeps the speed, stop bits, flow control and raw mode a port sets; its
// driver forces 8 data bits without parity, so those two are checked on the termios
// record the backend builds (next test).
TEST(PosixPortApi, SerialSetUpOnAPseudoTerminal) {
  struct Case {
    std::int32_t baudRate, stopBits;
    speed_t speed;
    bool twoStops;
  };
  const Case cases[] = {
      {0, 1, B1200, true},
      {3, 0, B9600, false},
      {4, 0, B19200, false},
      {-3, 2, B19200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("baud " + std::to_string(c.baudRate));
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    {
      // The port starts out cooked, with software and hardware flow control.
      const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(slave, 0);
      termios tio{};
      ASSERT_EQ(tcgetattr(slave, &tio), 0);
      tio.c_iflag |= IXON | IXOFF | IXANY | ICRNL;
      tio.c_oflag |= OPOST | ONLCR;
      tio.c_lflag |= ICANON | ECHO;
      tio.c_cflag |= CRTSCTS;
      ASSERT_EQ(tcsetattr(slave, TCSANOW, &tio), 0);
      ::close(slave);
    }
    PosixPortApi api = ApiWith("COM2", pty.slavePath());
    AppState state(kPlatformWin32Nt);
    state.portSettings = {0, 1, 5, c.baudRate, 1, 0, c.stopBits};
    ASSERT_TRUE(OpenPrinterPort(state, api));

    const termios tio = PortTermios(state);
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);

    CommState read;
    ASSERT_TRUE(state.portHandle->GetCommState(read));
    EXPECT_EQ(read.BaudRate, BaudRateFor(c.baudRate));
    EXPECT_EQ(read.StopBits, c.twoStops ? kTwoStopBits : kOneStopBit);
    EXPECT_EQ(read.fOutX, 0);
    EXPECT_EQ(read.fInX, 0);
    EXPECT_EQ(read.fOutxCtsFlow, 0);
  }
}

TEST(PosixPortApi, CharacterFormatAndFlowControlInTermios) {
  struct Case {
    std::int32_t dataBits, parity;
    tcflag_t size;
    bool parityOn, odd;
  };
  const Case cases[] = {
      {0, 0, CS7, false, false},
      {1, 1, CS8, true, true},
      {0, 2, CS7, true, false},
      {-1, 5, CS8, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("data " + std::to_string(c.dataBits) + " parity " + std::to_string(c.parity));
    // Start from a record with everything switched on that the set-up must switch off.
    termios tio{};
    tio.c_cflag = CS5 | PARENB | PARODD | CRTSCTS | CSTOPB;
    tio.c_iflag = IXON | IXOFF | IXANY | INPCK | ICRNL;
    tio.c_lflag = ICANON | ECHO;
    tio.c_oflag = OPOST;
    CommState state;
    ApplySerialSettings(state, {0, 1, 4, 2, c.dataBits, c.parity, 0});
    EXPECT_TRUE(TermiosFromCommState(state, tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ((tio.c_cflag & PARENB) != 0, c.parityOn);
    EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
    EXPECT_EQ(cfgetospeed(&tio), B4800);

    CommState back;
    CommStateFromTermios(tio, back);
    EXPECT_EQ(back.ByteSize, state.ByteSize);
    EXPECT_EQ(back.Parity, state.Parity);
    EXPECT_EQ(back.StopBits, state.StopBits);
  }
  // A speed the system has no constant for is refused, and the old speed stays.
  termios tio{};
  cfsetospeed(&tio, B2400);
  CommState odd;
  odd.BaudRate = 12345;
  EXPECT_FALSE(TermiosFromCommState(odd, tio));
  EXPECT_EQ(cfgetospeed(&tio), B2400);
}

TEST(PosixPortApi, BytesCrossAPseudoTerminalIntact) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PosixPortApi api = ApiWith("COM1", pty.slavePath());
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 4, 4, 1, 0, 0};
  ASSERT_TRUE(OpenPrinterPort(state, api));

  // Every byte value, XON, XOFF, CR, LF and NUL among them, in pieces as the send makes.
  std::vector<std::uint8_t> all(512);
  for (std::size_t i = 0; i < all.size(); ++i)
    all[i] = static_cast<std::uint8_t>(i);
  for (std::size_t at = 0; at < all.size(); at += 16)
    ASSERT_EQ(state.portHandle->WriteFile({all.data() + at, 16}), 16u);
  EXPECT_EQ(pty.Read(all.size()), all);
}

TEST(PosixPortApi, APseudoTerminalHasNoModemLinesSoIsNeverReady) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.ok());
  PosixPortApi api = ApiWith("COM3", pty.slavePath());
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 6, 3, 1, 0, 0};
  ASSERT_TRUE(OpenPrinterPort(state, api));
  std::uint32_t status = 0xFFFF;
  EXPECT_FALSE(state.portHandle->GetCommModemStatus(status));
  EXPECT_FALSE(IsPrinterReady(state));
}

TEST(PosixPortApi, UnsupportedStatusQueriesCountAsReady) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("fifo")));
  FifoReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.ok());
  const std::string plain = dir.File("plain.bin");
  std::ofstream(plain) << "";

  struct Case {
    std::uint32_t platformId;
    bool ready;
  };
  const Case cases[] = {{kPlatformWin32Nt, true}, {kPlatformWin32Windows, true}, {5, false}};
  for (const std::string& path : {dir.File("fifo"), plain}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(path + " platform " + std::to_string(c.platformId));
      PosixPortApi api = ApiWith("LPT1", path);
      AppState state(c.platformId);
      ASSERT_TRUE(OpenPrinterPort(state, api));
      EXPECT_EQ(IsPrinterReady(state), c.ready);
    }
  }
}

TEST(PosixPortApi, AFullSendThroughAFifo) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("printer")));
  // Larger than a pipe holds, so the writer has to wait for the reader at times.
  const ByteBlock block = Pattern(300000);
  FifoReader reader(dir.File("printer"));
  ASSERT_TRUE(reader.ok());
  PosixPortApi api = ApiWith("LPT3", dir.File("printer"));
  AppState state(kPlatformWin32Nt);
  state.portSettings.port = 2;
  RecordedProgress progress;

  const SendReport report = SendBlock(state, api, block, &progress);
  EXPECT_EQ(report.result, SendResult::kSent);
  EXPECT_EQ(report.bytesWritten, block.size());
  EXPECT_EQ(state.portHandle, nullptr);
  const std::vector<std::uint8_t>& got = reader.Finish();
  EXPECT_TRUE(got == std::vector<std::uint8_t>(block.bytes().begin(), block.bytes().end()))
      << got.size() << " bytes arrived";
  EXPECT_EQ(progress.ranges, std::vector<std::uint32_t>{block.size()});
  EXPECT_EQ(progress.positions.size(), block.size() / 16 + 1);
  EXPECT_EQ(progress.positions.back(), block.size());
}

TEST(PosixPortApi, AWriteEndsWithinItsTimeoutWhenTheDeviceTakesNothing) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("stuck")));
  // A reader that never reads: the FIFO fills, and then takes nothing more.
  const int stuck = ::open(dir.File("stuck").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(stuck, 0);
  const int capacity = fcntl(stuck, F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);

  PosixPortApi api = ApiWith("LPT1", dir.File("stuck"));
  PortOpenResult opened = api.Open("LPT1");
  ASSERT_NE(opened.device, nullptr);
  ASSERT_TRUE(opened.device->SetCommTimeouts({0, 0, 0, 1, 20}));
  const std::vector<std::uint8_t> piece(16, 0x55);
  std::uint32_t total = 0;
  std::uint32_t last = 0;
  do {
    last = opened.device->WriteFile(piece);
    total += last;
  } while (last == piece.size() && total <= static_cast<std::uint32_t>(capacity));
  EXPECT_EQ(total, static_cast<std::uint32_t>(capacity));
  EXPECT_EQ(last, 0u);
  opened.device.reset();
  ::close(stuck);
}

TEST(PosixPortApi, AReaderThatLeavesFailsTheWriteWithoutASignal) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_TRUE(testing::MakeFifo(dir.File("fifo")));
  ASSERT_FALSE(SigpipeBlocked());
  const int readEnd = ::open(dir.File("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(readEnd, 0);
  PosixPortApi api = ApiWith("LPT1", dir.File("fifo"));
  PortOpenResult opened = api.Open("LPT1");
  ASSERT_NE(opened.device, nullptr);
  ::close(readEnd);

  const std::vector<std::uint8_t> piece(16, 0xAA);
  EXPECT_EQ(opened.device->WriteFile(piece), 0u);  // EPIPE, and the test lives on
  opened.device.reset();
  EXPECT_FALSE(SigpipeBlocked()) << "the signal mask is given back on close";
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
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
    SCOPED_TRACE("lines " + std::to_string(c.lines));
    EXPECT_EQ(NtStatusFromLpStatus(c.lines), c.status);
    EXPECT_EQ(CommErrorsFromLpStatus(c.lines), c.errors);
  }
}
#endif

}  // namespace
}  // namespace quillmark
