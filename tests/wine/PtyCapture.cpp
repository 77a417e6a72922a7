// The far end of a serial line for Windows programs under Wine: a pseudo-terminal whose
// slave side is linked at LINK (where Wine's serial port is pointed), and whose master side
// copies everything written to the port into CAPTURE.
//
//   PtyCapture LINK CAPTURE
//
// The slave side stays open here too, so the line never hangs up between two opens by the
// program under test. Runs until SIGTERM or SIGINT, then reads what is left and exits 0.
// Built and run on the Linux side by scripts/test.d/50-windows.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

volatile sig_atomic_t stopping = 0;

void Stop(int) {
  stopping = 1;
}

bool WriteAll(int fd, const unsigned char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// Copies what the master side has; false on a failure other than "nothing there yet".
bool Drain(int master, int capture) {
  unsigned char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got > 0) {
      if (!WriteAll(capture, chunk, got)) return false;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s LINK CAPTURE\n", argv[0]);
    return 2;
  }
  const char* link = argv[1];
  const char* capturePath = argv[2];

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    std::perror("PtyCapture: pseudo-terminal");
    return 1;
  }
  const char* slaveName = ::ptsname(master);
  const int slave = slaveName != nullptr ? ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  const int capture = ::open(capturePath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (slave < 0 || capture < 0) {
    std::perror("PtyCapture: open");
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = Stop;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);

  // The link last: once it exists, the line is ready.
  ::unlink(link);
  if (::symlink(slaveName, link) != 0) {
    std::perror("PtyCapture: symlink");
    return 1;
  }

  bool ok = true;
  while (ok && !stopping) {
    pollfd watch{master, POLLIN, 0};
    if (::poll(&watch, 1, 100) > 0) ok = Drain(master, capture);
  }
  if (ok) ok = Drain(master, capture);
  ::unlink(link);
  ::close(slave);
  ::close(master);
  if (::close(capture) != 0) ok = false;
  if (!ok) std::perror("PtyCapture");
  return ok ? 0 : 1;
}
