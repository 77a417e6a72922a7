#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "cli/Platform.h"
#include "port/posix/PosixPortApi.h"

namespace quillmark::cli {
namespace {

std::optional<DeviceKind> DeviceKindFor(std::optional<LineKind> line) {
  if (!line) return std::nullopt;
  return *line == LineKind::kSerial ? DeviceKind::kSerial : DeviceKind::kParallel;
}

// The path `target` opens; empty for a network printer.
std::string PathOf(const PortTarget& target) {
  if (target.kind == PortKind::kTcp || IsTcpAddressText(target.device)) return {};
  return target.device;
}

std::error_code SystemError(int code) {
  return std::error_code(code, std::generic_category());
}

// Closes the descriptor it holds, if any.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  // Closes it now, reporting the result.
  int Close() noexcept {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Writes all of `bytes` to `fd`, waiting while a non-blocking descriptor is full. The
// system's error, or 0.
int WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
      pollfd ready{fd, POLLOUT, 0};
      ::poll(&ready, 1, -1);
      continue;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return 0;
}

}  // namespace

bool WritesDirectly(const std::string& path) {
  if (path == kStandardStream) return true;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISSOCK(info.st_mode);
}

FileError WriteDirectly(const std::string& path, std::span<const std::uint8_t> bytes) {
  ::signal(SIGPIPE, SIG_IGN);
  FileError error;
  error.path = path;
  // Standard output itself, by "-" or by a name of it (/dev/stdout): a socket or a
  // terminal given as standard output need not be opened again.
  bool standardOutput = path == kStandardStream;
  struct stat target {
  }, out{};
  if (!standardOutput && ::stat(path.c_str(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0)
    standardOutput = target.st_dev == out.st_dev && target.st_ino == out.st_ino &&
                     !S_ISCHR(target.st_mode);  // /dev/null is not standard output's own
  // Non-blocking, so that a FIFO nobody reads is refused (ENXIO) instead of waited for.
  Descriptor opened(
      standardOutput ? -1 : ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!standardOutput) {
    if (opened.get() < 0) {
      error.step = FileStep::kOpenForWriting;
      error.code = SystemError(errno);
      return error;
    }
    const int flags = ::fcntl(opened.get(), F_GETFL);
    if (flags >= 0) ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK);
  }
  const int fd = standardOutput ? STDOUT_FILENO : opened.get();
  if (const int failed = WriteAll(fd, bytes); failed != 0) {
    error.step = FileStep::kWrite;
    error.code = SystemError(failed);
    return error;
  }
  if (!standardOutput && opened.Close() != 0) {
    error.step = FileStep::kClose;
    error.code = SystemError(errno);
    return error;
  }
  return {};
}

std::optional<std::vector<std::uint8_t>> ReadPipedInput(int fd, std::uint64_t maxBytes, int idleMs,
                                                        std::string& error) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = "closed";
    return std::nullopt;
  }
  if (::isatty(fd) == 1) {
    error =
        "a terminal: pipe the file in (< FILE, or another program's output) or name the "
        "file instead of -";
    return std::nullopt;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "a folder";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, 65536> buffer;
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, idleMs);
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      error = "nothing arrived for " +
              (idleMs % 1000 == 0 ? std::to_string(idleMs / 1000) + " seconds"
                                  : std::to_string(idleMs) + " ms") +
              " after " + std::to_string(bytes.size()) + " bytes";
      return std::nullopt;
    }
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      error = "cannot read: " + SystemError(errno).message();
      return std::nullopt;
    }
    if (got == 0) return bytes;
    if (static_cast<std::uint64_t>(got) > maxBytes - bytes.size()) {
      error = "more than " + std::to_string(maxBytes >> 20) +
              " MiB, more than is read from it: save it as a file and name the file";
      return std::nullopt;
    }
    bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
  }
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(std::FILE* stream) noexcept {
  return ::isatty(::fileno(stream)) == 1;
}

PortMapListing ListPortMap() {
  PortMapListing listing;
  PortMapFile file;
  const PortMap map = UserPortMap(&file);
  listing.path = file.path;
  listing.found = file.found;
  listing.problems = file.problems;
  for (std::string_view name : kPortNames) {
    const PortRoute& route = map.find(name)->second;
    NamedPort port{std::string(name), route.target, false, {}};
    port.mapped = std::find(file.mapped.begin(), file.mapped.end(), name) != file.mapped.end();
    if (route.kind)
      port.options.push_back(*route.kind == DeviceKind::kSerial ? "serial" : "parallel");
    if (route.ignoreStatus) port.options.push_back("ignore-status");
    listing.ports.push_back(std::move(port));
  }
  return listing;
}

void ResolvePortTarget(PortTarget& target) {
  if (target.kind == PortKind::kNamed) {
    const PortMap map = UserPortMap();
    target.device = map.find(target.name)->second.target;
  }
  const std::string path = PathOf(target);
  if (target.forced) return;
  if (path.empty()) {
    target.line = LineKind::kParallel;  // a network printer
    return;
  }
  switch (DeviceKindOf(path)) {
    case DeviceKind::kSerial:
      target.line = LineKind::kSerial;
      break;
    case DeviceKind::kParallel:
      target.line = LineKind::kParallel;
      break;
    case DeviceKind::kAsSettings:
      break;
  }
}

std::string PortRefusal(const PortTarget& target) {
  const std::string path = PathOf(target);
  return path.empty() ? std::string() : PortPathRefusal(path);
}

DeviceFacts ProbeDevice(const std::string& path) {
  DeviceFacts facts;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.fifo = S_ISFIFO(info.st_mode);
  facts.checked = true;
  facts.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
  // A FIFO is opened for writing only.
  if (facts.fifo) facts.accessible = ::access(path.c_str(), W_OK) == 0;
  if (const group* owner = ::getgrgid(info.st_gid)) facts.group = owner->gr_name;
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::canonical(path, error);
  if (!error && resolved.string() != path) facts.resolved = resolved.string();
  const DeviceKind kind = DeviceKindOf(path);
  if (kind != DeviceKind::kAsSettings)
    facts.kind = kind == DeviceKind::kSerial ? "serial" : "parallel";
  return facts;
}

std::vector<std::string> FindOtherPortDevices() {
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/usb", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("lp", 0) == 0) found.push_back(entry.path().string());
  }
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
      found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::unique_ptr<PortApi> MakePortApiFor(const PortTarget& target, std::string&) {
  if (target.kind == PortKind::kNamed) {
    PortMap map = UserPortMap();
    PortRoute& route = map.find(target.name)->second;
    if (target.forced) route.kind = DeviceKindFor(target.forced);
    route.ignoreStatus = route.ignoreStatus || target.ignoreStatus;
    return std::make_unique<PosixPortApi>(std::move(map));
  }
  // Whichever name the transport opens for the chosen set-up reaches the target.
  PortRoute route(target.kind == PortKind::kTcp ? FormatTcpAddress(target.tcp) : target.device);
  route.kind = DeviceKindFor(target.forced);
  route.ignoreStatus = target.ignoreStatus;
  return std::make_unique<PosixPortApi>(PortMap{{std::string(kAnyPortName), std::move(route)}});
}

}  // namespace quillmark::cli
