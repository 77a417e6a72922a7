#pragma once

// The printer port on POSIX systems (Linux, macOS): printer and serial devices, FIFOs,
// sockets and network printers, each port name reaching its route of a port map
// (PortMap.h).
//
//   what     only a character device, a FIFO, a socket or tcp:HOST:PORT is a port. A
//            regular file, a folder or a block device (a disk) is refused by what the
//            path is, before anything is opened.
//   kind     what the device is, symbolic links followed: a terminal is serial, a
//            parallel (lp, major 6) or USB (usblp, major 180) printer device parallel;
//            a route may ask for either; anything else takes the port settings' set-up.
//   open     open(O_RDWR | O_NOCTTY | O_NONBLOCK) (O_WRONLY for a FIFO, which then fails
//            with ENXIO when nobody reads it), an exclusive non-blocking flock, and on a
//            terminal TIOCEXCL and raw mode at once, whatever set-up follows: no output or
//            input processing, no software flow control, the speed kept, so no byte is
//            changed on the way. The descriptor stays non-blocking.
//   set-up   termios raw mode, speed, character size, parity and stop bits; CLOCAL|CREAD;
//            flow control only as the CommState asks (the transport asks for none); DTR
//            and RTS raised or dropped by TIOCMBIS/TIOCMBIC. Queue sizes have no POSIX
//            counterpart and are accepted as they are. Purge is tcflush.
//   write    non-blocking write; poll() only when the device would block, up to the
//            deadline of the time-outs (multiplier * bytes + constant ms). On a terminal
//            the write then waits, within the same deadline, until the kernel has sent
//            the bytes, so that the readiness test before the next piece means something.
//            Any error but "would block" breaks the link: a FIFO's reader gone (EPIPE), a
//            device unplugged (ENODEV), an input/output error (EIO), a full disk.
//   status   TIOCMGET for the modem lines; LPGETSTATUS for the parallel status, turned
//            into the NT status byte: on lp from the status register's lines, on usblp
//            from the USB printer-class port status byte. A device without them (FIFO,
//            pty) fails the query. A route that ignores the status answers ready.
//   close    a FIFO is closed once its reader has taken what was written, or at most
//            2 seconds after it last took anything; a reader gone before it took all
//            fails the send, as does a failed close. Network printers: TcpPortApi.h.
//
// A write to a FIFO whose reader has gone fails with EPIPE instead of raising SIGPIPE:
// SIGPIPE is blocked on the opening thread while the port is open, and one raised by the
// port is discarded on close. A port is therefore used and closed on the thread that
// opened it.

#include <termios.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "port/PortApi.h"
#include "port/posix/PortMap.h"

namespace quillmark {

inline constexpr std::uint32_t kFifoCloseWaitMs = 2000;

class PosixPortApi final : public PortApi {
 public:
  using DeviceMap = PortMap;

  // The user's port map: the defaults with the map file read over them, as the file is
  // when the object is made.
  PosixPortApi();
  explicit PosixPortApi(PortMap routes);

  // A name missing from the map fails with ENOENT; nothing else is ever opened.
  PortOpenResult Open(std::string_view deviceName) noexcept override;
  // CLOCK_MONOTONIC in milliseconds, truncated to 32 bits.
  std::uint32_t GetTickCount() noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;
  // "LPT1 (/dev/usb/lp0)"; the route's target alone for the name kAnyPortName.
  std::string DescribePort(std::string_view deviceName) const override;

  const PortMap& routes() const noexcept { return routes_; }
  // The route `deviceName` takes; null when it has none.
  const PortRoute* RouteOf(std::string_view deviceName) const noexcept;

 private:
  PortMap routes_;
};

// Opens `route` as a printer port, described to the user as `port` (see above).
PortOpenResult OpenPosixPort(const PortRoute& route, const std::string& port) noexcept;

// Why the path cannot be a printer port, told by what it is: a regular file, a folder or
// a block device. Empty when it may be one, or when it is not there (the open says why).
std::string PortPathRefusal(const std::string& path);

// What the device at `path` is without opening it (which would raise a serial port's
// DTR): serial for a terminal, parallel for an lp or usblp printer device, kAsSettings
// for anything else or nothing there.
DeviceKind DeviceKindOf(const std::string& path);

// The termios fields that carry a CommState: speed, character size, parity, stop bits,
// parity checking, hardware and software flow control and their characters. `state`'s
// other fields are left alone.
void CommStateFromTermios(const termios& tio, CommState& state) noexcept;
// Raw mode with CLOCAL | CREAD and no read wait, then what `state` asks for. False when the
// speed is one the system cannot set; the speed in `tio` is then left alone.
bool TermiosFromCommState(const CommState& state, termios& tio) noexcept;
// Raw mode alone: no input or output processing, no software flow control, 8 bits without
// parity, CLOCAL | CREAD, no read wait; the speed and hardware flow control as they were.
void MakeRawTermios(termios& tio) noexcept;

// The NT parallel status byte a printer's status reads as; 0x80 exactly when it is
// selected, not busy, has paper and reports no error.
//   lp (LPGETSTATUS of a parallel port): the status register's LP_P* lines, busy and
//   error read inverted.
std::uint8_t NtStatusFromLpStatus(int lines) noexcept;
//   usblp: the USB printer-class port status byte, bit 3 "no error", bit 4 "selected",
//   bit 5 "paper empty", the other bits reserved; a USB printer is never busy by it. 0x18 is
//   a ready printer.
std::uint8_t NtStatusFromUsbPrinterStatus(int status) noexcept;
// The NT status byte as ClearCommError bits: paper empty (kCeOop), not selected (kCeDns),
// off line (kCeIoe). Busy is no error.
std::uint32_t CommErrorsFromNtStatus(std::uint8_t status) noexcept;

}  // namespace quillmark
