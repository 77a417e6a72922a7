// The Win32 backend on the real Windows calls (under Wine on Linux): opening, writing and
// the queries on plain files, where the system's own answers can be checked, and, when a
// test environment names them, on a serial port and a parallel port:
//   QUILLMARK_TEST_SERIAL_PORT    a serial port without modem lines, e.g. "COM1" pointed
//                                 at a pseudo-terminal; the bytes written here are checked
//                                 on the other side
//   QUILLMARK_TEST_PARALLEL_PORT  a parallel port whose status cannot be queried, e.g.
//                                 "LPT1" pointed at a FIFO, read on the other side
// Without them those tests are skipped.

#include "port/win32/Win32PortApi.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "port/PortTransport.h"
#include "port/ScriptedPortApi.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::RecordedProgress;

// A folder of its own under the temporary folder, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("quillmark-port-" + std::to_string(random()));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  bool ok() const { return !path_.empty(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

void WriteWholeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 0, 1, ... 255, 0, 1, ...: a lost, doubled or translated byte shows.
Bytes Counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

const char* TestPort(const char* variable) {
  const char* name = std::getenv(variable);
  return name != nullptr && *name != '\0' ? name : nullptr;
}

TEST(Win32PortApi, OpenIsExclusiveForReadingAndWritingAndNeverCreates) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string plain = folder.File("port.bin");
  WriteWholeFile(plain, {1, 2, 3});
  struct Case {
    const char* what;
    std::string name;
    int error;  // GetLastError() of the failed open; 0: it opens
  };
  const Case cases[] = {
      {"a file that exists", plain, 0},
      {"a missing file (OPEN_EXISTING)", folder.File("missing.bin"), ERROR_FILE_NOT_FOUND},
      {"an empty name", "", ERROR_INVALID_NAME},
      {"a name with a NUL inside", std::string("LPT1\0x", 6), ERROR_INVALID_NAME},
      {"a name too long for the call", std::string(MAX_PATH, 'n'), ERROR_INVALID_NAME},
  };
  Win32PortApi api;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PortOpenResult opened = api.Open(c.name);
    EXPECT_EQ(opened.device != nullptr, c.error == 0);
    EXPECT_EQ(opened.error, c.error);
  }
  EXPECT_FALSE(fs::exists(folder.File("missing.bin")));

  // Share mode 0: while the port is open, no second open succeeds, ours or another
  // program's; closing it (CloseHandle in the destructor) frees it. Nor does the open
  // succeed while another program has the port open, however much that one shares.
  PortOpenResult first = api.Open(plain);
  ASSERT_NE(first.device, nullptr);
  const PortOpenResult second = api.Open(plain);
  EXPECT_EQ(second.device, nullptr);
  EXPECT_EQ(second.error, ERROR_SHARING_VIOLATION);
  const HANDLE reader =
      ::CreateFileA(plain.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);
  first.device.reset();
  EXPECT_NE(api.Open(plain).device, nullptr);

  const HANDLE holder =
      ::CreateFileA(plain.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.Open(plain).error, ERROR_SHARING_VIOLATION);
  ::CloseHandle(holder);
}

TEST(Win32PortApi, WriteFileReportsTheCountAndTheBytesArrive) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.File("port.bin");
  WriteWholeFile(path, {});
  const Bytes bytes = Counting(300);
  {
    Win32PortApi api;
    PortOpenResult opened = api.Open(path);
    ASSERT_NE(opened.device, nullptr);
    EXPECT_EQ(opened.device->WriteFile({bytes.data(), 16}), 16u);
    EXPECT_EQ(opened.device->WriteFile({bytes.data() + 16, 284}), 284u);
  }
  EXPECT_EQ(ReadWholeFile(path), bytes);
}

// A plain file has no line settings, modem lines or parallel status: every query fails,
// and the transport's rules then decide. The NT rule counts a status query that wrote
// nothing as ready, so every output byte must be left as the caller preset it.
TEST(Win32PortApi, QueriesADeviceCannotAnswerFailAndLeaveTheirOutputAlone) {
  ScratchFolder folder;
  ASSERT_TRUE(folder.ok());
  const std::string path = folder.File("port.bin");
  WriteWholeFile(path, {});
  Win32PortApi api;
  PortOpenResult opened = api.Open(path);
  ASSERT_NE(opened.device, nullptr);
  PortDevice& device = *opened.device;

  std::array<std::uint8_t, 16> status{};
  std::iota(status.begin(), status.end(), std::uint8_t{0x80});
  const std::array<std::uint8_t, 16> preset = status;
  EXPECT_FALSE(device.QueryParallelStatus(status));
  EXPECT_EQ(status, preset);

  CommState state;
  state.BaudRate = 4321;
  state.XonChar = 0x11;
  const CommState before = state;
  EXPECT_FALSE(device.GetCommState(state));
  EXPECT_EQ(state, before);

  std::uint32_t modem = 0x5A;
  EXPECT_FALSE(device.GetCommModemStatus(modem));
  EXPECT_EQ(modem, 0x5Au);

  struct Case {
    std::int32_t parallel;
    std::uint32_t platformId;
    bool ready;
  };
  const Case cases[] = {
      {1, kPlatformWin32Nt, true},       // the status byte keeps its preset 0x80
      {1, kPlatformWin32Windows, true},  // the error word keeps its preset 0
      {0, kPlatformWin32Nt, false},      // no modem status, so no DSR
      {0, kPlatformWin32Windows, false},
  };
  for (const Case& c : cases) {
    AppState app(c.platformId);
    app.portSettings.parallel = c.parallel;
    app.portHandle = std::move(opened.device);
    EXPECT_EQ(IsPrinterReady(app), c.ready) << c.parallel << " " << c.platformId;
    opened.device = std::move(app.portHandle);
  }
}

TEST(Win32PortApi, TickCountFollowsSleep) {
  Win32PortApi api;
  const std::uint32_t start = api.GetTickCount();
  api.Sleep(100);
  // Sleep never returns early; the tick count moves in steps of up to 16 ms.
  EXPECT_GE(static_cast<std::uint32_t>(api.GetTickCount() - start), 84u);
}

// Every field lands in the DCB field of its name, bit-fields included, and comes back.
TEST(Win32PortApi, LineSettingsMapFieldForFieldOntoTheDcb) {
  CommState state;
  state.DCBlength = 77;
  state.BaudRate = 19200;
  state.fBinary = 1;
  state.fParity = 0;
  state.fOutxCtsFlow = 1;
  state.fOutxDsrFlow = 0;
  state.fDtrControl = 2;
  state.fDsrSensitivity = 1;
  state.fTXContinueOnXoff = 0;
  state.fOutX = 1;
  state.fInX = 0;
  state.fErrorChar = 1;
  state.fNull = 0;
  state.fRtsControl = 3;
  state.fAbortOnError = 1;
  state.fDummy2 = 0x1ABCD;
  state.wReserved = 0x1234;
  state.XonLim = 0x2345;
  state.XoffLim = 0x3456;
  state.ByteSize = 7;
  state.Parity = 4;
  state.StopBits = 1;
  state.XonChar = 0x11;
  state.XoffChar = 0x13;
  state.ErrorChar = 0x3F;
  state.EofChar = 0x1A;
  state.EvtChar = 0x7E;
  state.wReserved1 = 0x4567;

  DCB dcb{};
  CommStateToDcb(state, dcb);
  EXPECT_EQ(dcb.DCBlength, 77u);
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity, 0u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(dcb.fDsrSensitivity, 1u);
  EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
  EXPECT_EQ(dcb.fOutX, 1u);
  EXPECT_EQ(dcb.fInX, 0u);
  EXPECT_EQ(dcb.fErrorChar, 1u);
  EXPECT_EQ(dcb.fNull, 0u);
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
  EXPECT_EQ(dcb.fAbortOnError, 1u);
  EXPECT_EQ(dcb.fDummy2, 0x1ABCDu);
  EXPECT_EQ(dcb.wReserved, 0x1234);
  EXPECT_EQ(dcb.XonLim, 0x2345);
  EXPECT_EQ(dcb.XoffLim, 0x3456);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, SPACEPARITY);
  EXPECT_EQ(dcb.StopBits, ONE5STOPBITS);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.ErrorChar, 0x3F);
  EXPECT_EQ(dcb.EofChar, 0x1A);
  EXPECT_EQ(dcb.EvtChar, 0x7E);
  EXPECT_EQ(dcb.wReserved1, 0x4567);

  CommState back;
  DcbToCommState(dcb, back);
  EXPECT_EQ(back, state);

  // Settings that could not be read still go out as a DCB of the right length.
  CommStateToDcb(CommState{}, dcb);
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
}

// The serial set-up as the port itself reports it afterwards. The port starts out with
// XON/XOFF and hardware flow control on and DTR off; the set-up must leave none of it.
// A pseudo-terminal keeps speed, stop bits and flow control, but Linux holds it at 8 data
// bits without parity, so every case here keeps those.
TEST(Win32SerialPort, SetUpReadsBackAsSet) {
  const char* port = TestPort("QUILLMARK_TEST_SERIAL_PORT");
  if (port == nullptr) GTEST_SKIP() << "QUILLMARK_TEST_SERIAL_PORT names no serial port";
  struct Case {
    std::int32_t baudRate;
    std::int32_t stopBits;
    std::uint32_t bitsPerSecond;
    std::uint8_t stopBitsCode;
  };
  const Case cases[] = {
      {0, 0, 1200, ONESTOPBIT},  {1, 1, 2400, TWOSTOPBITS}, {2, 0, 4800, ONESTOPBIT},
      {3, 1, 9600, TWOSTOPBITS}, {4, 0, 19200, ONESTOPBIT}, {9, 2, 19200, ONESTOPBIT},
  };
  Win32PortApi api;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitsPerSecond);
    {
      PortOpenResult opened = api.Open(port);
      ASSERT_NE(opened.device, nullptr) << "error " << opened.error;
      CommState dirty;
      ASSERT_TRUE(opened.device->GetCommState(dirty));
      dirty.BaudRate = c.bitsPerSecond == 2400 ? 4800 : 2400;
      dirty.StopBits = c.stopBitsCode == ONESTOPBIT ? TWOSTOPBITS : ONESTOPBIT;
      dirty.fOutX = 1;
      dirty.fInX = 1;
      dirty.fOutxCtsFlow = 1;
      dirty.fRtsControl = kRtsControlHandshake;
      dirty.fDtrControl = kDtrControlDisable;
      ASSERT_TRUE(opened.device->SetCommState(dirty));
    }

    AppState state(kPlatformWin32Nt);
    state.portSettings = {0, 1, 4, c.baudRate, 1, 0, c.stopBits};
    ASSERT_TRUE(OpenPrinterPort(state, api));
    ASSERT_NE(state.portHandle, nullptr);
    CommState after;
    ASSERT_TRUE(state.portHandle->GetCommState(after));
    EXPECT_EQ(after.BaudRate, c.bitsPerSecond);
    EXPECT_EQ(after.ByteSize, 8);
    EXPECT_EQ(after.Parity, NOPARITY);
    EXPECT_EQ(after.StopBits, c.stopBitsCode);
    EXPECT_EQ(after.fBinary, 1);
    EXPECT_EQ(after.fParity, 0);
    EXPECT_EQ(after.fOutxCtsFlow, 0);
    EXPECT_EQ(after.fOutxDsrFlow, 0);
    EXPECT_EQ(after.fOutX, 0);
    EXPECT_EQ(after.fInX, 0);
    EXPECT_EQ(after.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(after.fRtsControl, RTS_CONTROL_ENABLE);
    state.portHandle.reset();
  }
}

// A pseudo-terminal has no modem lines, so its DSR cannot be read and it is never ready;
// bytes written to it go out unchanged (no line-end or other translation), which the
// other side checks.
TEST(Win32SerialPort, NeverReadyWithoutModemLinesAndWritesBytesUnchanged) {
  const char* port = TestPort("QUILLMARK_TEST_SERIAL_PORT");
  if (port == nullptr) GTEST_SKIP() << "QUILLMARK_TEST_SERIAL_PORT names no serial port";
  Win32PortApi api;
  AppState state(kPlatformWin32Nt);
  state.portSettings = {0, 1, 4, 4, 1, 0, 0};
  ASSERT_TRUE(OpenPrinterPort(state, api));
  EXPECT_FALSE(IsPrinterReady(state));
  const Bytes bytes = Counting(256);
  for (std::size_t at = 0; at < bytes.size(); at += kMaxPieceBytes)
    EXPECT_EQ(state.portHandle->WriteFile({bytes.data() + at, kMaxPieceBytes}), kMaxPieceBytes);
  state.portHandle.reset();
}

// A full paced send through the real calls: the parallel status query fails without
// writing, which the NT rule counts as ready, so every piece goes out at once. The other
// side checks that 1000 counting bytes arrived.
TEST(Win32ParallelPort, AFullPacedSend) {
  const char* port = TestPort("QUILLMARK_TEST_PARALLEL_PORT");
  if (port == nullptr) GTEST_SKIP() << "QUILLMARK_TEST_PARALLEL_PORT names no parallel port";
  Win32PortApi api;
  AppState state;  // the platform's own family
  ASSERT_EQ(state.platformId, kPlatformWin32Nt);
  state.portSettings.port = 0;
  for (std::int32_t i = 0; i < 4; ++i)
    if (std::string(PortDeviceName(i)) == port) state.portSettings.port = i;
  ASSERT_EQ(PortDeviceName(state.portSettings.port), port);
  const Bytes bytes = Counting(1000);
  const ByteBlock block = std::move(*ByteBlock::CopyOf(bytes));
  RecordedProgress progress;
  const SendReport report = SendBlock(state, api, block, &progress);
  EXPECT_EQ(report.result, SendResult::kSent);
  EXPECT_EQ(report.bytesWritten, 1000u);
  EXPECT_EQ(progress.ranges, std::vector<std::uint32_t>{1000});
  ASSERT_FALSE(progress.positions.empty());
  EXPECT_EQ(progress.positions.size(), 1000u / 16 + 2);  // one a piece, one at the end
  EXPECT_EQ(progress.positions.back(), 1000u);
  EXPECT_EQ(state.portHandle, nullptr);
}

}  // namespace
}  // namespace quillmark
