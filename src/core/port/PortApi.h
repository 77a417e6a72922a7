#pragma once

// The platform operations the printer transport needs, one method per operation, with the
// arguments the transport passes. The logic of opening, pacing, polling and giving up
// (PortTransport.h) is written once over these interfaces; each backend maps them onto its
// system: Win32 (CreateFileA, SetCommTimeouts, SetupComm, GetCommState/SetCommState,
// PurgeComm, WriteFile, GetCommModemStatus, ClearCommError, DeviceIoControl, GetTickCount,
// Sleep, CloseHandle), POSIX (posix/PosixPortApi.h), or a test script with a fake clock.
//
// The caller chooses the backend and hands it to the transport, so a front end can route
// device names as it likes (a device map, a network printer) without the transport knowing.
//
// Constants keep the numeric values of the Windows API but not its macro names, so this
// header can be included beside <windows.h>.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace quillmark {

// Time-outs of an open port in milliseconds: the fields of the Win32 COMMTIMEOUTS record.
// A write of n bytes ends after at most WriteTotalTimeoutMultiplier * n +
// WriteTotalTimeoutConstant ms, having transferred what it could.
struct CommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// Serial line settings: every field of the Win32 DCB record, in its order, so that a
// backend can read the port's settings, let the transport change some, and write all of
// them back unchanged otherwise (the length field and the reserved words included).
struct CommState {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;  // bits per second
  std::uint8_t fBinary = 0;
  std::uint8_t fParity = 0;  // check the parity of received bytes
  std::uint8_t fOutxCtsFlow = 0;
  std::uint8_t fOutxDsrFlow = 0;
  std::uint8_t fDtrControl = 0;  // kDtrControl*
  std::uint8_t fDsrSensitivity = 0;
  std::uint8_t fTXContinueOnXoff = 0;
  std::uint8_t fOutX = 0;
  std::uint8_t fInX = 0;
  std::uint8_t fErrorChar = 0;
  std::uint8_t fNull = 0;
  std::uint8_t fRtsControl = 0;  // kRtsControl*
  std::uint8_t fAbortOnError = 0;
  std::uint32_t fDummy2 = 0;  // the 17 reserved bits
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;  // data bits, 5 to 8
  std::uint8_t Parity = 0;    // kNoParity, kOddParity...
  std::uint8_t StopBits = 0;  // kOneStopBit, kOne5StopBits, kTwoStopBits
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  friend bool operator==(const CommState&, const CommState&) = default;
};

// CommState::Parity
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;
// CommState::StopBits
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;
// CommState::fDtrControl
inline constexpr std::uint8_t kDtrControlDisable = 0;
inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kDtrControlHandshake = 2;
// CommState::fRtsControl
inline constexpr std::uint8_t kRtsControlDisable = 0;
inline constexpr std::uint8_t kRtsControlEnable = 1;
inline constexpr std::uint8_t kRtsControlHandshake = 2;
inline constexpr std::uint8_t kRtsControlToggle = 3;

// PurgeComm flags.
inline constexpr std::uint32_t kPurgeTxAbort = 0x01;
inline constexpr std::uint32_t kPurgeRxAbort = 0x02;
inline constexpr std::uint32_t kPurgeTxClear = 0x04;
inline constexpr std::uint32_t kPurgeRxClear = 0x08;

// GetCommModemStatus bits.
inline constexpr std::uint32_t kMsCtsOn = 0x10;
inline constexpr std::uint32_t kMsDsrOn = 0x20;
inline constexpr std::uint32_t kMsRingOn = 0x40;
inline constexpr std::uint32_t kMsRlsdOn = 0x80;

// ClearCommError error-word bits that concern a parallel port.
inline constexpr std::uint32_t kCeTxFull = 0x0100;
inline constexpr std::uint32_t kCePto = 0x0200;  // parallel time-out
inline constexpr std::uint32_t kCeIoe = 0x0400;  // I/O error
inline constexpr std::uint32_t kCeDns = 0x0800;  // device not selected
inline constexpr std::uint32_t kCeOop = 0x1000;  // out of paper
inline constexpr std::uint32_t kCeMode = 0x8000;

// The parallel status byte of IOCTL_PAR_QUERY_INFORMATION.
inline constexpr std::uint32_t kIoctlParQueryInformation = 0x160004;
inline constexpr std::uint8_t kParallelInit = 0x01;
inline constexpr std::uint8_t kParallelAutofeed = 0x02;
inline constexpr std::uint8_t kParallelPaperEmpty = 0x04;
inline constexpr std::uint8_t kParallelOffLine = 0x08;
inline constexpr std::uint8_t kParallelPowerOff = 0x10;
inline constexpr std::uint8_t kParallelNotConnected = 0x20;
inline constexpr std::uint8_t kParallelBusy = 0x40;
inline constexpr std::uint8_t kParallelSelected = 0x80;

// What an opened device is, where the backend can tell (POSIX: a terminal is serial, a
// printer device parallel): the set-up and readiness test it gets whatever the port
// settings say. kAsSettings leaves the choice to PortSettings::parallel.
enum class DeviceKind { kAsSettings, kParallel, kSerial };

// How a port's link broke: the system's error, and how many of the bytes written the
// printer is known to have taken (-1: not known).
struct LinkError {
  int error = 0;  // errno, or GetLastError on Windows; 0: the link holds
  std::int64_t bytesTaken = -1;
};

// An open printer port, opened exclusively. Destroying it closes the port (CloseHandle).
// None of the methods throws; their results are reported as the Win32 calls report them.
class PortDevice {
 public:
  PortDevice() = default;
  PortDevice(const PortDevice&) = delete;
  PortDevice& operator=(const PortDevice&) = delete;
  virtual ~PortDevice() = default;

  // SetCommTimeouts: bounds every later WriteFile. True when applied.
  virtual bool SetCommTimeouts(const CommTimeouts& timeouts) noexcept = 0;
  // SetupComm: the driver's input and output queue sizes in bytes. True when applied.
  virtual bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) noexcept = 0;
  // GetCommState: fills `state` with the port's line settings. False when they cannot be
  // read; `state` is then left as it was.
  virtual bool GetCommState(CommState& state) noexcept = 0;
  // SetCommState: applies every field of `state`. True when applied.
  virtual bool SetCommState(const CommState& state) noexcept = 0;
  // PurgeComm with kPurge* flags. True when done.
  virtual bool PurgeComm(std::uint32_t flags) noexcept = 0;
  // WriteFile, synchronous: writes what it can of `bytes` within the write time-outs and
  // returns the count transferred (0 after a failed or timed-out write).
  virtual std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept = 0;
  // GetCommModemStatus: kMs* bits of the modem lines. False when they cannot be read.
  virtual bool GetCommModemStatus(std::uint32_t& status) noexcept = 0;
  // ClearCommError: stores the port's error bits (kCe*) since the last call in `errors`
  // and clears them. False when the call fails; `errors` may then be left as it was.
  virtual bool ClearCommError(std::uint32_t& errors) noexcept = 0;
  // DeviceIoControl(IOCTL_PAR_QUERY_INFORMATION), no input, 16 bytes of output: writes the
  // parallel status byte (kParallel*) into out[0]. A query that fails leaves `out` as it
  // was and returns false.
  virtual bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept = 0;

  // The rest has a meaning only where the backend can tell; the defaults say nothing.

  // What the device is (see DeviceKind).
  virtual DeviceKind Kind() const noexcept { return DeviceKind::kAsSettings; }
  // The error that broke the link once a write or a readiness query has met one (the
  // reader of a FIFO gone, a connection closed or reset by the printer, a device
  // unplugged); error 0 while it holds. A broken link stays broken.
  virtual LinkError BrokenLink() const noexcept { return {}; }
  // Closes the port after a send, once what was written has reached the printer as far
  // as the system can tell; the error met on the way (a printer that closed the
  // connection before taking everything, a failed close), or error 0. A port destroyed
  // without this call is closed without waiting or asking.
  virtual LinkError Close() noexcept { return {}; }
  // The device's own words for a user told that a send failed: how its link broke ("the
  // printer closed the connection"), or else its last readiness answer ("it answered the
  // USB printer status 0x00: not selected, error"); empty when it has nothing to add.
  virtual std::string DescribeState() const { return {}; }
};

// The result of an open: the port, or no port and the system's error code (errno on POSIX,
// GetLastError on Windows) so that a front end can tell the user why, with the backend's
// own words where it knows more (the group that may open the device, a host that cannot
// be found, a path that is no port at all).
struct PortOpenResult {
  std::unique_ptr<PortDevice> device;
  int error = 0;
  std::string reason;  // empty: the error says it all
};

class PortApi {
 public:
  PortApi() = default;
  PortApi(const PortApi&) = delete;
  PortApi& operator=(const PortApi&) = delete;
  virtual ~PortApi() = default;

  // CreateFileA: opens the device called `deviceName` ("LPT1", "COM3"...) for reading and
  // writing, exclusively (no other open of it succeeds until it is closed), only if it
  // exists, without overlapped I/O.
  virtual PortOpenResult Open(std::string_view deviceName) noexcept = 0;
  // GetTickCount: milliseconds, unsigned 32 bits, wrapping; only differences count.
  virtual std::uint32_t GetTickCount() noexcept = 0;
  // Sleep for `milliseconds`.
  virtual void Sleep(std::uint32_t milliseconds) noexcept = 0;
  // The port `deviceName` reaches, as the user knows it: "LPT1 (/dev/usb/lp0)".
  virtual std::string DescribePort(std::string_view deviceName) const {
    return std::string(deviceName);
  }
};

}  // namespace quillmark
