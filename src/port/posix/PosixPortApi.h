#pragma once

// The printer port on POSIX systems (Linux, macOS): printer and serial devices, and, for
// tests and tools, FIFOs and plain files.
//
//   open     open(O_RDWR | O_NOCTTY | O_NONBLOCK) (O_WRONLY for a FIFO, which then fails
//            with ENXIO when nobody reads it), an exclusive non-blocking flock, TIOCEXCL
//            on a terminal; the descriptor stays non-blocking.
//   set-up   termios raw mode, speed, character size, parity and stop bits; CLOCAL|CREAD;
//            flow control only as the CommState asks (the transport asks for none); DTR
//            and RTS raised or dropped by TIOCMBIS/TIOCMBIC. Queue sizes have no POSIX
//            counterpart and are accepted as they are. Purge is tcflush.
//   write    non-blocking write; poll() only when the device would block, up to the
//            deadline of the time-outs (multiplier * bytes + constant ms). On a terminal
//            the write then waits, within the same deadline, until the kernel has sent
//            the bytes, so that the readiness test before the next piece means something.
//   status   TIOCMGET for the modem lines; LPGETSTATUS for the parallel status, turned
//            into the NT status byte. A device without them (FIFO, plain file, pty)
//            fails the query.
//
// A write to a FIFO whose reader has gone reports 0 bytes instead of raising SIGPIPE:
// SIGPIPE is blocked on the opening thread while the port is open, and one raised by the
// port is discarded on close. A port is therefore used and closed on the thread that
// opened it.

#include <termios.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "port/PortApi.h"

namespace quillmark {

class PosixPortApi final : public PortApi {
 public:
  // Device name ("LPT1", "COM1"...) to the path that is opened for it.
  using DeviceMap = std::map<std::string, std::string, std::less<>>;

  // "LPT1" to "LPT4" as /dev/lp0 to /dev/lp3, "COM1" to "COM4" as /dev/ttyS0 to /dev/ttyS3.
  static DeviceMap DefaultDeviceMap();

  PosixPortApi();
  explicit PosixPortApi(DeviceMap devices);

  // A name missing from the map fails with ENOENT; nothing else is ever opened.
  PortOpenResult Open(std::string_view deviceName) noexcept override;
  // CLOCK_MONOTONIC in milliseconds, truncated to 32 bits.
  std::uint32_t GetTickCount() noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

  const DeviceMap& devices() const noexcept { return devices_; }

 private:
  DeviceMap devices_;
};

// Opens `path` as a printer port (see above). Exposed for tools that take a device path.
PortOpenResult OpenPosixPort(const std::string& path) noexcept;

// The termios fields that carry a CommState: speed, character size, parity, stop bits,
// parity checking, hardware and software flow control and their characters. `state`'s
// other fields are left alone.
void CommStateFromTermios(const termios& tio, CommState& state) noexcept;
// Raw mode with CLOCAL | CREAD and no read wait, then what `state` asks for. False when the
// speed is one the system cannot set; the speed in `tio` is then left alone.
bool TermiosFromCommState(const CommState& state, termios& tio) noexcept;

#ifdef __linux__
// The status lines LPGETSTATUS reports (LP_P* bits) as the NT parallel status byte:
// selected, busy, paper empty, and the error line as off line; 0x80 exactly when the
// printer is selected, not busy, has paper and reports no error.
std::uint8_t NtStatusFromLpStatus(int lines) noexcept;
// The same lines as ClearCommError bits: paper out (kCeOop), not selected (kCeDns), error
// line (kCeIoe). Busy is no error.
std::uint32_t CommErrorsFromLpStatus(int lines) noexcept;
#endif

// The descriptor behind a port opened by this backend, -1 for any other port. For tests
// and diagnostics; the port keeps owning it.
int PosixPortDescriptor(const PortDevice& device) noexcept;

}  // namespace quillmark
