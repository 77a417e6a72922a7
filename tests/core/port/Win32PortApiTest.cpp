// The Win32 backend on the real calls (under Wine on Linux): on plain files, and on the
// ports QUILLMARK_TEST_SERIAL_PORT (a serial port without modem lines) and
// QUILLMARK_TEST_PARALLEL_PORT (a parallel port without status) when they are named; the
// bytes written to those are checked on the other side.

#include "port/win32/Win32PortApi.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "port/PortTransport.h"
#include "state/AppState.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempDir;

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

HANDLE OpenShared(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Win32PortApi, OpenIsExclusiveNeverCreatesAndReportsTheError) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string plain = dir.File("port.bin");
  std::ofstream(plain) << "abc";
  struct Case {
    std::string name;
    int error;  // GetLastError() of the failed open; 0: it opens
  };
  const Case cases[] = {
      {plain, 0},
      {dir.File("missing.bin"), ERROR_FILE_NOT_FOUND},
      {"", ERROR_INVALID_NAME},
      {std::string("LPT1\0x", 6), ERROR_INVALID_NAME},
      {std::string(MAX_PATH, 'n'), ERROR_INVALID_NAME},
  };
  Win32PortApi api;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 40));
    PortOpenResult opened = api.Open(c.name);
    EXPECT_EQ(opened.device != nullptr, c.error == 0);
    EXPECT_EQ(opened.error, c.error);
  }
  EXPECT_TRUE(dir.Names() == std::vector<std::string>{"port.bin"});

  // Share mode 0: no second open while the port is open, ours or another program's; nor
  // ours while another program has it open, however much that one shares.
  PortOpenResult first = api.Open(plain);
  ASSERT_NE(first.device, nullptr);
  EXPECT_EQ(api.Open(plain).error, ERROR_SHARING_VIOLATION);
  const HANDLE reader = OpenShared(plain);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);
  first.device.reset();
  const HANDLE holder = OpenShared(plain);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(api.Open(plain).error, ERROR_SHARING_VIOLATION);
  ::CloseHandle(holder);
  EXPECT_NE(api.Open(plain).device, nullptr);
}

// A plain file takes writes but has no line settings, modem lines or parallel status:
// every query fails and leaves its output as preset, for the readiness rules to decide.
TEST(Win32PortApi, APlainFileTakesBytesAndAnswersNoQuery) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  const std::string path = dir.File("port.bin");
  std::ofstream(path).close();
  Win32PortApi api;
  PortOpenResult opened = api.Open(path);
  ASSERT_NE(opened.device, nullptr);
  PortDevice& device = *opened.device;
  const Bytes bytes = Counting(300);
  EXPECT_EQ(device.WriteFile({bytes.data(), 16}), 16u);
  EXPECT_EQ(device.WriteFile({bytes.data() + 16, 284}), 284u);

  std::array<std::uint8_t, 16> status;
  status.fill(0x5A);
  EXPECT_FALSE(device.QueryParallelStatus(status));
  EXPECT_EQ(std::count(status.begin(), status.end(), 0x5A), 16);
  CommState state;
  state.BaudRate = 4321;
  EXPECT_FALSE(device.GetCommState(state));
  EXPECT_EQ(state.BaudRate, 4321u);
  std::uint32_t modem = 0x5A;
  EXPECT_FALSE(device.GetCommModemStatus(modem));
  EXPECT_EQ(modem, 0x5Au);

  opened.device.reset();
  EXPECT_EQ(testing::ReadFileBytes(path), bytes);
}

// The serial set-up as the port reports it afterwards, from a port with XON/XOFF and
// hardware flow control on and DTR off (a pseudo-terminal holds 8 data bits, no parity).
// Without modem lines DSR cannot be read, so the port is never ready; bytes go out
// unchanged, which the other side checks.
TEST(Win32SerialPort, SetUpReadsBackAsSetAndBytesGoOutUnchanged) {
  const char* port = TestPort("QUILLMARK_TEST_SERIAL_PORT");
  if (port == nullptr) GTEST_SKIP() << "QUILLMARK_TEST_SERIAL_PORT names no serial port";
  struct Case {
    std::int32_t baudRate, stopBits;
    std::uint32_t bitsPerSecond;
    std::uint8_t stopBitsCode;
  };
  const Case cases[] = {
      {0, 0, 1200, ONESTOPBIT}, {1, 1, 2400, TWOSTOPBITS}, {9, 2, 19200, ONESTOPBIT}};
  Win32PortApi api;
  AppState state(kPlatformWin32Nt);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitsPerSecond);
    state.portHandle.reset();
    {
      PortOpenResult opened = api.Open(port);
      ASSERT_NE(opened.device, nullptr) << "error " << opened.error;
      CommState dirty;
      ASSERT_TRUE(opened.device->GetCommState(dirty));
      dirty.BaudRate = c.bitsPerSecond == 2400 ? 4800 : 2400;
      dirty.StopBits = c.stopBitsCode == ONESTOPBIT ? TWOSTOPBITS : ONESTOPBIT;
      dirty.fOutX = dirty.fInX = dirty.fOutxCtsFlow = 1;
      dirty.fRtsControl = kRtsControlHandshake;
      dirty.fDtrControl = kDtrControlDisable;
      ASSERT_TRUE(opened.device->SetCommState(dirty));
    }
    state.portSettings = {0, 1, 4, c.baudRate, 1, 0, c.stopBits};
    ASSERT_TRUE(OpenPrinterPort(state, api));
    CommState after;
    ASSERT_TRUE(state.portHandle->GetCommState(after));
    EXPECT_EQ(after.BaudRate, c.bitsPerSecond);
    EXPECT_EQ(after.ByteSize, 8);
    EXPECT_EQ(after.Parity, NOPARITY);
    EXPECT_EQ(after.StopBits, c.stopBitsCode);
    EXPECT_EQ(after.fBinary, 1);
    EXPECT_EQ(after.fParity + after.fOutxCtsFlow + after.fOutxDsrFlow + after.fOutX + after.fInX,
              0);
    EXPECT_EQ(after.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(after.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_FALSE(IsPrinterReady(state));
  }
  const Bytes bytes = Counting(256);
  for (std::size_t at = 0; at < bytes.size(); at += kMaxPieceBytes)
    EXPECT_EQ(state.portHandle->WriteFile({bytes.data() + at, kMaxPieceBytes}), kMaxPieceBytes);
}

// A full paced send through the real calls: the status query fails without writing, which
// the NT rule counts as ready.
TEST(Win32ParallelPort, AFullPacedSend) {
  const char* port = TestPort("QUILLMARK_TEST_PARALLEL_PORT");
  if (port == nullptr) GTEST_SKIP() << "QUILLMARK_TEST_PARALLEL_PORT names no parallel port";
  Win32PortApi api;
  AppState state;  // the platform's own family
  ASSERT_EQ(state.platformId, kPlatformWin32Nt);
  for (std::int32_t i = 0; i < 4; ++i)
    if (PortDeviceName(i) == port) state.portSettings.port = i;
  ASSERT_EQ(PortDeviceName(state.portSettings.port), port);
  const ByteBlock block = std::move(*ByteBlock::CopyOf(Counting(1000)));
  const SendReport report = SendBlock(state, api, block, nullptr);
  EXPECT_EQ(report.result, SendResult::kSent);
  EXPECT_EQ(report.bytesWritten, 1000u);
  EXPECT_EQ(state.portHandle, nullptr);
}

}  // namespace
}  // namespace quillmark
