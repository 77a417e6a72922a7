// The far end of a serial line for Windows programs under Wine: a pseudo-terminal whose
// slave side is linked at LINK (where Wine's serial port is pointed), and whose master side
// copies everything written to the port into CAPTURE. Built and run by 50-windows.
//
//   PtyCapture LINK CAPTURE
//
// The slave side stays open here too, so the line never hangs up between two opens by the
// program under test. Runs until SIGTERM or SIGINT, then copies what is left and exits 0.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

volatile sig_atomic_t stopping = 0;

void Stop(int) {
  stopping = 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  const char* slaveName = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                              ? ::ptsname(master)
                              : nullptr;
  const int slave = slaveName != nullptr ? ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  std::FILE* capture = std::fopen(argv[2], "wb");
  struct sigaction action {};
  action.sa_handler = Stop;  // without SA_RESTART: a signal ends the wait in poll
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  ::unlink(argv[1]);
  if (slave < 0 || capture == nullptr || ::symlink(slaveName, argv[1]) != 0) {
    std::perror("PtyCapture");
    return 1;
  }
  // Once stopping, one more pass without waiting takes what is left.
  for (bool last = false; !last;) {
    last = stopping != 0;
    pollfd watch{master, POLLIN, 0};
    unsigned char chunk[4096];
    ssize_t got = 0;
    while (::poll(&watch, 1, last ? 0 : 100) > 0 && (got = ::read(master, chunk, sizeof chunk)) > 0)
      std::fwrite(chunk, 1, static_cast<std::size_t>(got), capture);
    if (got < 0 && errno != EINTR) {
      std::perror("PtyCapture: read");
      return 1;
    }
  }
  ::unlink(argv[1]);
  return std::fclose(capture) == 0 ? 0 : 1;
}
