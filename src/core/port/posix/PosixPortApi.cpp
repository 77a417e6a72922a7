#include "port/posix/PosixPortApi.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "files/FileHandle.h"
#include "port/TcpAddress.h"
#include "port/posix/DeadlineWrite.h"
#include "port/posix/PosixClock.h"
#include "port/posix/TcpPortApi.h"

#ifdef __linux__
#include <linux/lp.h>
#include <sys/sysmacros.h>
#endif

namespace quillmark {
namespace {

// Every write is bounded even before the transport sets its time-outs.
constexpr CommTimeouts kInitialTimeouts = {0, 0, 200, 10, 200};

struct SpeedEntry {
  std::uint32_t bitsPerSecond;
  speed_t speed;
};

constexpr std::array kSpeeds = {
    SpeedEntry{50, B50},         SpeedEntry{75, B75},         SpeedEntry{110, B110},
    SpeedEntry{134, B134},       SpeedEntry{150, B150},       SpeedEntry{200, B200},
    SpeedEntry{300, B300},       SpeedEntry{600, B600},       SpeedEntry{1200, B1200},
    SpeedEntry{1800, B1800},     SpeedEntry{2400, B2400},     SpeedEntry{4800, B4800},
    SpeedEntry{9600, B9600},     SpeedEntry{19200, B19200},   SpeedEntry{38400, B38400},
    SpeedEntry{57600, B57600},   SpeedEntry{115200, B115200}, SpeedEntry{230400, B230400},
#ifdef B460800
    SpeedEntry{460800, B460800}, SpeedEntry{921600, B921600},
#endif
};

bool SpeedFor(std::uint32_t bitsPerSecond, speed_t& speed) noexcept {
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.bitsPerSecond == bitsPerSecond) {
      speed = entry.speed;
      return true;
    }
  }
  return false;
}

std::uint32_t BitsPerSecondFor(speed_t speed) noexcept {
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.speed == speed) return entry.bitsPerSecond;
  }
  return 0;
}

#ifndef F_SETNOSIGPIPE
// SIGPIPE is blocked on the opening thread while one of its ports is open, so that a FIFO
// whose reader has gone makes write() fail with EPIPE instead of ending the program.
thread_local int tPortsOpen = 0;
thread_local bool tSigpipeBlockedByUs = false;

bool BlockSigpipe() noexcept {
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t previous;
  if (::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous) != 0) return false;
  // Blocked already: the caller handles SIGPIPE its own way; leave it alone on close too.
  return sigismember(&previous, SIGPIPE) == 0;
}

void DiscardSigpipeAndUnblock() noexcept {
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t pending;
  if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
#ifdef __linux__
    const timespec noWait{0, 0};
    while (::sigtimedwait(&pipeOnly, nullptr, &noWait) == -1 && errno == EINTR) {
    }
#else
    int taken = 0;
    ::sigwait(&pipeOnly, &taken);
#endif
  }
  ::pthread_sigmask(SIG_UNBLOCK, &pipeOnly, nullptr);
}

void NotePortOpened() noexcept {
  if (tPortsOpen++ == 0) tSigpipeBlockedByUs = BlockSigpipe();
}

void NotePortClosed() noexcept {
  if (--tPortsOpen == 0 && tSigpipeBlockedByUs) DiscardSigpipeAndUnblock();
}
#endif

// The parallel status register's lines as LPGETSTATUS of lp reports them (LP_P* of
// <linux/lp.h>), and the bits of the USB printer-class port status byte usblp reports.
constexpr int kLpNotBusy = 0x80;  // the busy line reads inverted
constexpr int kLpPaperOut = 0x20;
constexpr int kLpSelected = 0x10;
constexpr int kLpNoError = 0x08;  // the error line is active low
constexpr int kUsbPaperEmpty = 0x20;
constexpr int kUsbSelected = 0x10;
constexpr int kUsbNoError = 0x08;

#ifdef __linux__
constexpr unsigned kLpMajor = 6;
constexpr unsigned kUsbPrinterMajor = 180;
#endif

std::string Hex(int value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[(value >> 4) & 15] + kDigits[value & 15];
}

// "not selected, out of paper": what an NT status byte says is wrong.
std::string StatusWords(std::uint8_t status) {
  std::string words;
  auto add = [&words](const char* word) {
    words += (words.empty() ? "" : ", ") + std::string(word);
  };
  if ((status & kParallelSelected) == 0) add("not selected (off line)");
  if ((status & kParallelBusy) != 0) add("busy");
  if ((status & kParallelPaperEmpty) != 0) add("out of paper");
  if ((status & kParallelOffLine) != 0) add("in error");
  return words;
}

// What a device found at open is.
struct DeviceTraits {
  bool terminal = false;
  bool fifo = false;
  bool usbPrinter = false;  // usblp: the USB printer-class status
  DeviceKind kind = DeviceKind::kAsSettings;
  bool ignoreStatus = false;
};

class PosixPortDevice final : public PortDevice {
 public:
  PosixPortDevice(FileHandle fd, const DeviceTraits& traits) noexcept
      : fd_(std::move(fd)), traits_(traits) {
#ifdef F_SETNOSIGPIPE
    ::fcntl(fd_.get(), F_SETNOSIGPIPE, 1);
#else
    NotePortOpened();
#endif
  }

  ~PosixPortDevice() override {
    CloseDescriptor();
  }

  DeviceKind Kind() const noexcept override {
    return traits_.kind;
  }
  LinkError BrokenLink() const noexcept override {
    return broken_;
  }

  LinkError Close() noexcept override {
    LinkError result = broken_;
    if (result.error == 0 && traits_.fifo) result = WaitForReader();
    const int closeError = CloseDescriptor();
    if (result.error == 0 && closeError != 0) result = {closeError, -1};
    if (result.error != 0) broken_ = result;
    return result;
  }

  std::string DescribeState() const override {
    if (broken_.error != 0) {
      if (traits_.fifo && broken_.error == EPIPE) return "its reader went away";
      if (broken_.error == ENODEV || broken_.error == ENXIO)
        return "the device went away (unplugged or switched off?)";
      if (broken_.error == EIO)
        return "the device failed (is the printer still connected and switched on?)";
      return "writing to it failed";
    }
    switch (lastStatus_) {
      case Status::kNone:
        return {};
      case Status::kUsbByte: {
        std::string text = "it answered the USB printer status " + Hex(lastValue_) + ": " +
                           StatusWords(NtStatusFromUsbPrinterStatus(lastValue_));
        // Neither selected nor free of errors: most likely a printer that answers 0 to
        // every status request.
        if ((lastValue_ & (kUsbSelected | kUsbNoError)) == 0)
          text +=
              ". A printer that answers 0 to every status request is used with "
              "--ignore-status, or ignore-status in its port map entry";
        return text;
      }
      case Status::kLpLines:
        return "its status lines read " + Hex(lastValue_) + ": " +
               StatusWords(NtStatusFromLpStatus(lastValue_));
      case Status::kModemLines:
        return "DSR stayed off: it is busy or switched off, or its cable does not carry the "
               "busy line to DSR";
      case Status::kNoModemLines:
        return "it has no modem lines to report ready by (a pseudo-terminal?); the parallel "
               "set-up (--port-type parallel, or parallel in its port map entry) sends "
               "without asking";
    }
    return {};
  }

  bool SetCommTimeouts(const CommTimeouts& timeouts) noexcept override {
    timeouts_ = timeouts;
    return true;
  }

  // Queue sizes have no POSIX counterpart: the driver's buffers stay as they are.
  bool SetupComm(std::uint32_t, std::uint32_t) noexcept override {
    return true;
  }

  bool GetCommState(CommState& state) noexcept override {
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) return false;
    CommStateFromTermios(tio, state);
    if (state.BaudRate != 0) bitsPerSecond_ = state.BaudRate;
    const bool hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    int lines = 0;
    const bool haveLines = ::ioctl(fd_.get(), TIOCMGET, &lines) == 0;
    state.fDtrControl =
        haveLines && (lines & TIOCM_DTR) != 0 ? kDtrControlEnable : kDtrControlDisable;
    state.fRtsControl = hardwareFlow                            ? kRtsControlHandshake
                        : haveLines && (lines & TIOCM_RTS) != 0 ? kRtsControlEnable
                                                                : kRtsControlDisable;
    return true;
  }

  bool SetCommState(const CommState& state) noexcept override {
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) return false;
    bool applied = TermiosFromCommState(state, tio);
    if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) applied = false;
    const std::uint32_t speed = BitsPerSecondFor(::cfgetospeed(&tio));
    if (speed != 0) bitsPerSecond_ = speed;

    // DTR and RTS: raised unless the state asks for them off. A port without modem lines
    // (a pseudo-terminal) refuses both calls; the line settings above still stand.
    int raise = 0;
    int drop = 0;
    (state.fDtrControl == kDtrControlDisable ? drop : raise) |= TIOCM_DTR;
    (state.fRtsControl == kRtsControlDisable ? drop : raise) |= TIOCM_RTS;
    if (raise != 0) ::ioctl(fd_.get(), TIOCMBIS, &raise);
    if (drop != 0) ::ioctl(fd_.get(), TIOCMBIC, &drop);
    return applied;
  }

  bool PurgeComm(std::uint32_t flags) noexcept override {
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    if (!output && !input) return true;
    const int queue = output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH;
    return ::tcflush(fd_.get(), queue) == 0;
  }

  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    if (broken_.error != 0) return 0;
    WriteDeadline deadline(timeouts_, bytes.size());
    const DeadlineWriteResult result = WriteWithDeadline(
        fd_.get(), bytes, deadline,
        [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }, EIO);
    written_ += result.written;
    if (result.error != 0) {
      Break(result.error);
    } else if (result.hungUp) {
      Break(EPIPE);  // the device took nothing and cannot take more
    }
    if (traits_.terminal && result.written > 0 && broken_.error == 0) WaitUntilSent(deadline);
    return static_cast<std::uint32_t>(result.written);
  }

  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    if (traits_.ignoreStatus) {
      status = kMsDsrOn | kMsCtsOn;
      return true;
    }
    if (noModemLines_) return false;
    int lines = 0;
    if (::ioctl(fd_.get(), TIOCMGET, &lines) != 0) {
      noModemLines_ = errno == ENOTTY || errno == EINVAL;
      if (noModemLines_) lastStatus_ = Status::kNoModemLines;
      NoteQueryError(errno);
      return false;
    }
    lastStatus_ = Status::kModemLines;
    status = 0;
    if ((lines & TIOCM_CTS) != 0) status |= kMsCtsOn;
    if ((lines & TIOCM_DSR) != 0) status |= kMsDsrOn;
    if ((lines & TIOCM_RI) != 0) status |= kMsRingOn;
    if ((lines & TIOCM_CD) != 0) status |= kMsRlsdOn;
    return true;
  }

  // The printer's state as error bits (nothing needs clearing afterwards).
  bool ClearCommError(std::uint32_t& errors) noexcept override {
    std::array<std::uint8_t, 16> status{};
    if (!QueryParallelStatus(status)) return false;
    errors = CommErrorsFromNtStatus(status[0]);
    return true;
  }

  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
    if (traits_.ignoreStatus) {
      out[0] = kParallelSelected;
      return true;
    }
#ifdef __linux__
    if (noParallelLines_) return false;
    int lines = 0;
    if (::ioctl(fd_.get(), LPGETSTATUS, &lines) != 0) {
      // No such query (a FIFO, a terminal) is never asked again; usblp fails it with EIO
      // when the printer does not answer status requests.
      noParallelLines_ = errno == ENOTTY || errno == EINVAL;
      NoteQueryError(errno);
      return false;
    }
    lastValue_ = lines & 0xFF;
    lastStatus_ = traits_.usbPrinter ? Status::kUsbByte : Status::kLpLines;
    out[0] = traits_.usbPrinter ? NtStatusFromUsbPrinterStatus(lines) : NtStatusFromLpStatus(lines);
    return true;
#else
    (void)out;
    return false;
#endif
  }

 private:
  enum class Status { kNone, kUsbByte, kLpLines, kModemLines, kNoModemLines };

  void Break(int error) noexcept {
    broken_.error = error;
    // What a FIFO's reader left unread did not reach it.
    int unread = 0;
    if (traits_.fifo && ::ioctl(fd_.get(), FIONREAD, &unread) == 0 && unread >= 0)
      broken_.bytesTaken = static_cast<std::int64_t>(written_) - unread;
  }

  // A device that has gone away fails its status queries too; it is not waited for.
  void NoteQueryError(int error) noexcept {
    if (error == ENODEV || error == ENXIO) Break(error);
  }

  // A FIFO keeps what was written until its reader takes it, and a reader may go away
  // before it has. Waits until the FIFO is empty, for as long as the reader keeps taking
  // (kFifoCloseWaitMs after it last took anything); what a reader gone leaves unread did
  // not arrive.
  LinkError WaitForReader() noexcept {
    int unread = 0;
    int before = -1;
    std::int64_t deadline = 0;
    while (::ioctl(fd_.get(), FIONREAD, &unread) == 0 && unread > 0) {
      pollfd watch{fd_.get(), 0, 0};
      if (::poll(&watch, 1, 0) > 0 && (watch.revents & POLLERR) != 0)
        return {EPIPE, static_cast<std::int64_t>(written_) - unread};
      const std::int64_t now = MonotonicMs();
      if (unread != before) {
        before = unread;
        deadline = now + kFifoCloseWaitMs;
      } else if (now >= deadline) {
        break;  // the reader is there but takes nothing now: the bytes wait for it
      }
      SleepMs(1);
    }
    return {};
  }

  // Closes the descriptor once; the system's error of the close, or 0.
  int CloseDescriptor() noexcept {
    if (!fd_.valid()) return 0;
    // The exclusive mode outlives the descriptor on some terminals; give it up first.
    if (traits_.terminal) ::ioctl(fd_.get(), TIOCNXCL);
    const std::error_code closed = fd_.Close();
#ifndef F_SETNOSIGPIPE
    NotePortClosed();
#endif
    return closed && closed != std::errc::interrupted ? closed.value() : 0;
  }

  // A terminal queues what write() takes and sends it at the line's speed. Readiness is
  // tested before every piece, so a piece must have left before the next test, as a Win32
  // serial write has when it returns: otherwise kilobytes could pile up in the queue
  // behind a printer that has dropped DSR. The wait ends with the write's time-out; what
  // is still queued then goes out later and counts as written, so nothing is sent twice.
  void WaitUntilSent(WriteDeadline& deadline) noexcept {
    int queued = 0;
    while (::ioctl(fd_.get(), TIOCOUTQ, &queued) == 0 && queued > 0) {
      const std::int64_t left = deadline.MsLeft();
      if (left <= 0) return;
      // About 10 bits a byte on the line, start and stop bits included.
      const std::int64_t needed =
          (static_cast<std::int64_t>(queued) * 10000 + bitsPerSecond_ - 1) / bitsPerSecond_;
      SleepMs(std::clamp<std::int64_t>(needed, 1, left));
    }
  }

  FileHandle fd_;
  DeviceTraits traits_;
  // A device whose driver has no such query (ENOTTY) never will: it is not asked again,
  // which keeps a paced send to a FIFO at one system call a piece.
  bool noModemLines_ = false;
  bool noParallelLines_ = false;
  Status lastStatus_ = Status::kNone;
  int lastValue_ = 0;
  std::uint64_t written_ = 0;
  LinkError broken_;
  std::int64_t bitsPerSecond_ = 9600;  // the line's speed, for the wait until sent
  CommTimeouts timeouts_ = kInitialTimeouts;
};

}  // namespace

void CommStateFromTermios(const termios& tio, CommState& state) noexcept {
  state.BaudRate = BitsPerSecondFor(::cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      state.ByteSize = 5;
      break;
    case CS6:
      state.ByteSize = 6;
      break;
    case CS7:
      state.ByteSize = 7;
      break;
    default:
      state.ByteSize = 8;
      break;
  }
  state.Parity = kNoParity;
  if ((tio.c_cflag & PARENB) != 0) {
    const bool odd = (tio.c_cflag & PARODD) != 0;
    state.Parity = odd ? kOddParity : kEvenParity;
#ifdef CMSPAR
    if ((tio.c_cflag & CMSPAR) != 0) state.Parity = odd ? kMarkParity : kSpaceParity;
#endif
  }
  state.StopBits = (tio.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
  state.fBinary = 1;
  state.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
  state.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0 ? 1 : 0;
  state.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
  state.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
  state.XonChar = static_cast<char>(tio.c_cc[VSTART]);
  state.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

bool TermiosFromCommState(const CommState& state, termios& tio) noexcept {
  bool speedKnown = true;
  MakeRawTermios(tio);
  speed_t speed{};
  if (SpeedFor(state.BaudRate, speed)) {
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
  } else {
    speedKnown = false;  // a speed the system cannot set: keep the current one
  }
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  switch (state.ByteSize) {
    case 5:
      tio.c_cflag |= CS5;
      break;
    case 6:
      tio.c_cflag |= CS6;
      break;
    case 7:
      tio.c_cflag |= CS7;
      break;
    default:
      tio.c_cflag |= CS8;
      break;
  }
  tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
#ifdef CMSPAR
  tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  switch (state.Parity) {
    case kOddParity:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case kEvenParity:
      tio.c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case kMarkParity:
      tio.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case kSpaceParity:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      break;
  }
  if (state.StopBits == kTwoStopBits) {
    tio.c_cflag |= CSTOPB;
  } else {
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  }
  // cfmakeraw leaves input XON/XOFF and parity checking as they were.
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  if (state.fParity != 0) tio.c_iflag |= INPCK;
  if (state.fOutxCtsFlow != 0 || state.fRtsControl == kRtsControlHandshake) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  }
  if (state.fOutX != 0) tio.c_iflag |= IXON;
  if (state.fInX != 0) tio.c_iflag |= IXOFF;
  if (state.fOutX != 0 || state.fInX != 0) {
    tio.c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return speedKnown;
}

void MakeRawTermios(termios& tio) noexcept {
  // cfmakeraw leaves input XON/XOFF alone; with it the driver would put XOFF bytes into
  // the stream, and stop sending on one it received.
  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF | IXANY);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
}

std::uint8_t NtStatusFromLpStatus(int lines) noexcept {
  std::uint8_t status = 0;
  if ((lines & kLpSelected) != 0) status |= kParallelSelected;
  if ((lines & kLpNotBusy) == 0) status |= kParallelBusy;
  if ((lines & kLpPaperOut) != 0) status |= kParallelPaperEmpty;
  if ((lines & kLpNoError) == 0) status |= kParallelOffLine;
  return status;
}

std::uint8_t NtStatusFromUsbPrinterStatus(int status) noexcept {
  // As the kernel's usblp judges it: in error when "no error" is clear, out of paper when
  // "paper empty" is set, off line when "selected" is clear.
  std::uint8_t nt = 0;
  if ((status & kUsbSelected) != 0) nt |= kParallelSelected;
  if ((status & kUsbPaperEmpty) != 0) nt |= kParallelPaperEmpty;
  if ((status & kUsbNoError) == 0) nt |= kParallelOffLine;
  return nt;
}

std::uint32_t CommErrorsFromNtStatus(std::uint8_t status) noexcept {
  std::uint32_t errors = 0;
  if ((status & kParallelPaperEmpty) != 0) errors |= kCeOop;
  if ((status & kParallelSelected) == 0) errors |= kCeDns;
  if ((status & kParallelOffLine) != 0) errors |= kCeIoe;
  return errors;
}

namespace {

// A character device's kind by its number: lp and usblp are printers; a terminal is told
// by the system's device class (any tty, whatever its name), pseudo-terminals by theirs.
DeviceKind KindOfCharDevice([[maybe_unused]] dev_t device) {
#ifdef __linux__
  const unsigned majorNumber = major(device);
  if (majorNumber == kLpMajor || majorNumber == kUsbPrinterMajor) return DeviceKind::kParallel;
  if (majorNumber >= 136 && majorNumber <= 143) return DeviceKind::kSerial;  // /dev/pts/*
  const std::string subsystem = "/sys/dev/char/" + std::to_string(majorNumber) + ":" +
                                std::to_string(minor(device)) + "/subsystem";
  char target[256];
  const ssize_t length = ::readlink(subsystem.c_str(), target, sizeof target - 1);
  if (length > 0) {
    const std::string_view link(target, static_cast<std::size_t>(length));
    if (link.substr(link.find_last_of('/') + 1) == "tty") return DeviceKind::kSerial;
  }
#endif
  return DeviceKind::kAsSettings;
}

std::string RefusalOf(const struct stat& info, const std::string& path) {
  const std::string keep =
      ": nothing was written. To keep the bytes in a file, use File in the window, or "
      "quillmark-cli export -o FILE or print-test -o FILE";
  if (S_ISREG(info.st_mode)) return path + " is a regular file, not a printer port" + keep;
  if (S_ISDIR(info.st_mode)) return path + " is a folder, not a printer port";
  if (S_ISBLK(info.st_mode))
    return path + " is a block device (a disk), not a printer port: nothing was written";
  return {};
}

// The way to a device only some may open: the group it belongs to, or a udev rule that
// gives it to the usual group of its kind.
std::string AccessAdvice(const struct stat& info, bool serial) {
  const std::string usual = serial ? "dialout" : "lp";
  const group* owner = ::getgrgid(info.st_gid);
  const std::string name = owner != nullptr ? owner->gr_name : "";
  if (name.empty() || name == "root") {
    return "only root may open it: add a udev rule that gives it to the group " + usual +
           " (GROUP=\"" + usual + "\", MODE=\"0660\"), then add yourself to " + usual +
           " (sudo usermod -aG " + usual + " $USER) and log in again";
  }
  return "it belongs to the group " + name + ": add yourself to that group (sudo usermod -aG " +
         name + " $USER) and log in again, or give it to you with a udev rule";
}

PortOpenResult OpenFailure(int error, const std::string& port, const std::string& path,
                           const struct stat* info) {
  const std::string cannot = "cannot open " + port + ": " + std::strerror(error);
  switch (error) {
    case ENOENT:
      return {nullptr, error,
              cannot +
                  ". quillmark-cli ports lists the ports and the devices found (a USB printer "
                  "is usually /dev/usb/lp0, a USB serial adapter /dev/ttyUSB0); an entry in "
                  "the port map file " +
                  UserPortMapPath() + " points a port name at another device"};
    case EACCES:
    case EPERM:
      if (info == nullptr) break;
      return {nullptr, error,
              cannot + "; " +
                  AccessAdvice(*info, S_ISCHR(info->st_mode) &&
                                          KindOfCharDevice(info->st_rdev) == DeviceKind::kSerial)};
    case EBUSY:
      return {nullptr, error, cannot + " (another program is using it)"};
    case ENXIO:
    case ENODEV:
      if (info != nullptr && S_ISFIFO(info->st_mode))
        return {nullptr, error,
                "cannot open " + port + ": nobody is reading this FIFO (" + std::strerror(error) +
                    "); start its reader first, for example quillmark-cli virtual-printer "
                    "--fifo " +
                    path};
      return {nullptr, error, cannot + " (is the printer connected and switched on?)"};
    default:
      break;
  }
  return {nullptr, error, cannot};
}

}  // namespace

std::string PortPathRefusal(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return RefusalOf(info, path);
}

DeviceKind DeviceKindOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return DeviceKind::kAsSettings;
  return KindOfCharDevice(info.st_rdev);
}

PortOpenResult OpenPosixPort(const PortRoute& route, const std::string& port) noexcept {
  if (IsTcpAddressText(route.target)) return OpenNetworkPort(route, port);
  const std::string& path = route.target;
  // What the path is decides before anything is opened: a file or a disk opened for
  // writing would be overwritten by the first piece.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) return OpenFailure(errno, port, path, nullptr);
  if (std::string refusal = RefusalOf(before, path); !refusal.empty())
    return {nullptr, EINVAL, std::move(refusal)};
  if (S_ISSOCK(before.st_mode)) return OpenNetworkPort(route, port);

  // A FIFO is opened for writing only: opened for reading too, it would be its own reader
  // and never report that nobody reads it. Without O_NONBLOCK the open would wait for a
  // reader; with it, a FIFO nobody reads fails at once with ENXIO.
  const int access = S_ISFIFO(before.st_mode) ? O_WRONLY : O_RDWR;
  FileHandle fd(::open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return OpenFailure(errno, port, path, &before);

  // The path may have been replaced since: what was opened must be a port too.
  struct stat opened {};
  if (::fstat(fd.get(), &opened) != 0) return OpenFailure(errno, port, path, nullptr);
  if (std::string refusal = RefusalOf(opened, path); !refusal.empty())
    return {nullptr, EINVAL, std::move(refusal)};
  if (S_ISFIFO(opened.st_mode) != S_ISFIFO(before.st_mode))
    return OpenFailure(EAGAIN, port, path, nullptr);

  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    return OpenFailure(EBUSY, port, path, nullptr);  // another program, or open of ours
  DeviceTraits traits;
  traits.terminal = ::isatty(fd.get()) == 1;
  traits.fifo = S_ISFIFO(opened.st_mode);
  traits.ignoreStatus = route.ignoreStatus;
  if (traits.terminal) {
    ::ioctl(fd.get(), TIOCEXCL);
    // Raw at once, whichever set-up follows: a terminal as it comes turns every 0A into
    // 0D 0A on the way out.
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) == 0) {
      MakeRawTermios(tio);
      ::tcsetattr(fd.get(), TCSANOW, &tio);
    }
  }
  const DeviceKind found = traits.terminal           ? DeviceKind::kSerial
                           : S_ISCHR(opened.st_mode) ? KindOfCharDevice(opened.st_rdev)
                                                     : DeviceKind::kAsSettings;
#ifdef __linux__
  traits.usbPrinter = S_ISCHR(opened.st_mode) && major(opened.st_rdev) == kUsbPrinterMajor;
#endif
  traits.kind = route.kind.value_or(found);
  return {std::make_unique<PosixPortDevice>(std::move(fd), traits), 0, {}};
}

PosixPortApi::PosixPortApi() : PosixPortApi(UserPortMap()) {}

PosixPortApi::PosixPortApi(PortMap routes) : routes_(std::move(routes)) {}

const PortRoute* PosixPortApi::RouteOf(std::string_view deviceName) const noexcept {
  auto found = routes_.find(deviceName);
  if (found == routes_.end()) found = routes_.find(kAnyPortName);
  return found != routes_.end() ? &found->second : nullptr;
}

PortOpenResult PosixPortApi::Open(std::string_view deviceName) noexcept {
  const PortRoute* route = RouteOf(deviceName);
  const std::string port = DescribePort(deviceName);
  if (route == nullptr) return {nullptr, ENOENT, "there is no port " + port + " in the port map"};
  return OpenPosixPort(*route, port);
}

std::string PosixPortApi::DescribePort(std::string_view deviceName) const {
  if (routes_.find(deviceName) == routes_.end()) {
    const PortRoute* any = RouteOf(deviceName);
    return any != nullptr ? any->target : std::string(deviceName);
  }
  return std::string(deviceName) + " (" + RouteOf(deviceName)->target + ")";
}

std::uint32_t PosixPortApi::GetTickCount() noexcept {
  return static_cast<std::uint32_t>(MonotonicMs());
}

void PosixPortApi::Sleep(std::uint32_t milliseconds) noexcept {
  SleepMs(milliseconds);
}

}  // namespace quillmark
