#include "port/posix/PosixPortApi.h"

#include <errno.h>
#include <fcntl.h>
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
#include <limits>
#include <utility>

#include "port/posix/PosixClock.h"
#include "port/posix/UniqueFd.h"

#ifdef __linux__
#include <linux/lp.h>
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
    SpeedEntry{50, B50},       SpeedEntry{75, B75},         SpeedEntry{110, B110},
    SpeedEntry{134, B134},     SpeedEntry{150, B150},       SpeedEntry{200, B200},
    SpeedEntry{300, B300},     SpeedEntry{600, B600},       SpeedEntry{1200, B1200},
    SpeedEntry{1800, B1800},   SpeedEntry{2400, B2400},     SpeedEntry{4800, B4800},
    SpeedEntry{9600, B9600},   SpeedEntry{19200, B19200},   SpeedEntry{38400, B38400},
    SpeedEntry{57600, B57600}, SpeedEntry{115200, B115200}, SpeedEntry{230400, B230400},
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

class PosixPortDevice final : public PortDevice {
 public:
  PosixPortDevice(int fd, bool terminal) noexcept : fd_(fd), terminal_(terminal) {
#ifdef F_SETNOSIGPIPE
    ::fcntl(fd_, F_SETNOSIGPIPE, 1);
#else
    NotePortOpened();
#endif
  }

  ~PosixPortDevice() override {
    // The exclusive mode outlives the descriptor on some terminals; give it up first.
    if (terminal_) ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
#ifndef F_SETNOSIGPIPE
    NotePortClosed();
#endif
  }

  int fd() const noexcept {
    return fd_;
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
    if (::tcgetattr(fd_, &tio) != 0) return false;
    CommStateFromTermios(tio, state);
    if (state.BaudRate != 0) bitsPerSecond_ = state.BaudRate;
    const bool hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
    int lines = 0;
    const bool haveLines = ::ioctl(fd_, TIOCMGET, &lines) == 0;
    state.fDtrControl =
        haveLines && (lines & TIOCM_DTR) != 0 ? kDtrControlEnable : kDtrControlDisable;
    state.fRtsControl = hardwareFlow                            ? kRtsControlHandshake
                        : haveLines && (lines & TIOCM_RTS) != 0 ? kRtsControlEnable
                                                                : kRtsControlDisable;
    return true;
  }

  bool SetCommState(const CommState& state) noexcept override {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    bool applied = TermiosFromCommState(state, tio);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) applied = false;
    const std::uint32_t speed = BitsPerSecondFor(::cfgetospeed(&tio));
    if (speed != 0) bitsPerSecond_ = speed;

    // DTR and RTS: raised unless the state asks for them off. A port without modem lines
    // (a pseudo-terminal) refuses both calls; the line settings above still stand.
    int raise = 0;
    int drop = 0;
    (state.fDtrControl == kDtrControlDisable ? drop : raise) |= TIOCM_DTR;
    (state.fRtsControl == kRtsControlDisable ? drop : raise) |= TIOCM_RTS;
    if (raise != 0) ::ioctl(fd_, TIOCMBIS, &raise);
    if (drop != 0) ::ioctl(fd_, TIOCMBIC, &drop);
    return applied;
  }

  bool PurgeComm(std::uint32_t flags) noexcept override {
    const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    if (!output && !input) return true;
    const int queue = output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH;
    return ::tcflush(fd_, queue) == 0;
  }

  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    // The write's time-out: multiplier * bytes + constant ms. The clock is read only when
    // it is needed, so a write the device takes at once costs one system call.
    std::int64_t deadline = -1;
    auto msLeft = [&]() noexcept {
      const std::int64_t now = MonotonicMs();
      if (deadline < 0) {
        deadline = now +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutMultiplier) *
                       static_cast<std::int64_t>(bytes.size()) +
                   static_cast<std::int64_t>(timeouts_.WriteTotalTimeoutConstant);
      }
      return deadline - now;
    };

    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t count = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (count > 0) {
        done += static_cast<std::size_t>(count);
        continue;
      }
      if (count < 0 && errno == EINTR) continue;
      if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;

      // The device would block: wait for room until the time-out is over.
      const std::int64_t left = msLeft();
      if (left <= 0) break;
      pollfd watch{fd_, POLLOUT, 0};
      const int ready =
          ::poll(&watch, 1,
                 static_cast<int>(std::min<std::int64_t>(left, std::numeric_limits<int>::max())));
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0 && (watch.revents & POLLOUT) == 0) break;  // error or hang-up
    }
    if (terminal_ && done > 0) WaitUntilSent(msLeft);
    return static_cast<std::uint32_t>(done);
  }

  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    if (noModemLines_) return false;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
      noModemLines_ = errno == ENOTTY;
      return false;
    }
    status = 0;
    if ((lines & TIOCM_CTS) != 0) status |= kMsCtsOn;
    if ((lines & TIOCM_DSR) != 0) status |= kMsDsrOn;
    if ((lines & TIOCM_RI) != 0) status |= kMsRingOn;
    if ((lines & TIOCM_CD) != 0) status |= kMsRlsdOn;
    return true;
  }

  // The printer's state as error bits (nothing needs clearing afterwards).
  bool ClearCommError(std::uint32_t& errors) noexcept override {
#ifdef __linux__
    int lines = 0;
    if (!ParallelLines(lines)) return false;
    errors = CommErrorsFromLpStatus(lines);
    return true;
#else
    (void)errors;
    return false;
#endif
  }

  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
#ifdef __linux__
    int lines = 0;
    if (!ParallelLines(lines)) return false;
    out[0] = NtStatusFromLpStatus(lines);
    return true;
#else
    (void)out;
    return false;
#endif
  }

 private:
  // A terminal queues what write() takes and sends it at the line's speed. Readiness is
  // tested before every piece, so a piece must have left before the next test, as a Win32
  // serial write has when it returns: otherwise kilobytes could pile up in the queue
  // behind a printer that has dropped DSR. The wait ends with the write's time-out; what
  // is still queued then goes out later and counts as written, so nothing is sent twice.
  template <typename MsLeft>
  void WaitUntilSent(MsLeft& msLeft) noexcept {
    int queued = 0;
    while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
      const std::int64_t left = msLeft();
      if (left <= 0) return;
      // About 10 bits a byte on the line, start and stop bits included.
      const std::int64_t needed =
          (static_cast<std::int64_t>(queued) * 10000 + bitsPerSecond_ - 1) / bitsPerSecond_;
      SleepMs(std::clamp<std::int64_t>(needed, 1, left));
    }
  }

#ifdef __linux__
  bool ParallelLines(int& lines) noexcept {
    if (noParallelLines_) return false;
    if (::ioctl(fd_, LPGETSTATUS, &lines) == 0) return true;
    noParallelLines_ = errno == ENOTTY;
    return false;
  }
#endif

  int fd_;
  bool terminal_;
  // A device whose driver has no such query (ENOTTY) never will: it is not asked again,
  // which keeps a paced send to a FIFO at one system call a piece.
  bool noModemLines_ = false;
  bool noParallelLines_ = false;
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
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
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

#ifdef __linux__
std::uint8_t NtStatusFromLpStatus(int lines) noexcept {
  std::uint8_t status = 0;
  if ((lines & LP_PSELECD) != 0) status |= kParallelSelected;
  if ((lines & LP_PBUSY) == 0) status |= kParallelBusy;  // the busy line reads inverted
  if ((lines & LP_POUTPA) != 0) status |= kParallelPaperEmpty;
  if ((lines & LP_PERRORP) == 0) status |= kParallelOffLine;  // the error line is active low
  return status;
}

std::uint32_t CommErrorsFromLpStatus(int lines) noexcept {
  std::uint32_t errors = 0;
  if ((lines & LP_POUTPA) != 0) errors |= kCeOop;
  if ((lines & LP_PSELECD) == 0) errors |= kCeDns;
  if ((lines & LP_PERRORP) == 0) errors |= kCeIoe;
  return errors;
}
#endif

PortOpenResult OpenPosixPort(const std::string& path) noexcept {
  // A FIFO is opened for writing only: opened for reading too, it would be its own reader
  // and never report that nobody reads it. Without O_NONBLOCK the open would wait for a
  // reader; with it, a FIFO nobody reads fails at once with ENXIO.
  int access = O_RDWR;
  struct stat before {};
  if (::stat(path.c_str(), &before) == 0 && S_ISFIFO(before.st_mode)) access = O_WRONLY;
  UniqueFd fd(::open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return {nullptr, errno};

  struct stat opened {};
  if (::fstat(fd.get(), &opened) != 0) return {nullptr, errno};
  if (S_ISFIFO(opened.st_mode) && access != O_WRONLY) return {nullptr, EAGAIN};  // swapped

  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    return {nullptr, EBUSY};  // another program (or another open of ours) holds it
  }
  const bool terminal = ::isatty(fd.get()) == 1;
  if (terminal) ::ioctl(fd.get(), TIOCEXCL);
  return {std::make_unique<PosixPortDevice>(fd.release(), terminal), 0};
}

int PosixPortDescriptor(const PortDevice& device) noexcept {
  const auto* posix = dynamic_cast<const PosixPortDevice*>(&device);
  return posix != nullptr ? posix->fd() : -1;
}

PosixPortApi::DeviceMap PosixPortApi::DefaultDeviceMap() {
  return {{"LPT1", "/dev/lp0"},   {"LPT2", "/dev/lp1"},   {"LPT3", "/dev/lp2"},
          {"LPT4", "/dev/lp3"},   {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"},
          {"COM3", "/dev/ttyS2"}, {"COM4", "/dev/ttyS3"}};
}

PosixPortApi::PosixPortApi() : PosixPortApi(DefaultDeviceMap()) {}

PosixPortApi::PosixPortApi(DeviceMap devices) : devices_(std::move(devices)) {}

PortOpenResult PosixPortApi::Open(std::string_view deviceName) noexcept {
  const auto found = devices_.find(deviceName);
  if (found == devices_.end()) return {nullptr, ENOENT};
  return OpenPosixPort(found->second);
}

std::uint32_t PosixPortApi::GetTickCount() noexcept {
  return static_cast<std::uint32_t>(MonotonicMs());
}

void PosixPortApi::Sleep(std::uint32_t milliseconds) noexcept {
  SleepMs(milliseconds);
}

}  // namespace quillmark
