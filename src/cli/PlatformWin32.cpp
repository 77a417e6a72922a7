// The command-line tool's system calls on Windows.
#include <io.h>
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shellapi.h>

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "cli/Platform.h"
#include "port/win32/TcpPortApi.h"
#include "port/win32/Win32PortApi.h"

namespace quillmark::cli {
namespace {

// Opens one path, whatever device name the transport asks for.
class RoutedPortApi final : public PortApi {
 public:
  explicit RoutedPortApi(std::string device) : device_(std::move(device)) {}
  PortOpenResult Open(std::string_view) noexcept override { return system_.Open(device_); }
  std::uint32_t GetTickCount() noexcept override { return system_.GetTickCount(); }
  void Sleep(std::uint32_t milliseconds) noexcept override { system_.Sleep(milliseconds); }
  std::string DescribePort(std::string_view) const override { return device_; }

 private:
  Win32PortApi system_;
  std::string device_;
};

// "COM1" to "COM9" and "LPT1" to "LPT9" in any case: the names Windows keeps for ports.
bool IsPortDeviceName(std::string_view name) noexcept {
  if (name.size() != 4 || name[3] < '1' || name[3] > '9') return false;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  const std::string prefix{upper(name[0]), upper(name[1]), upper(name[2])};
  return prefix == "COM" || prefix == "LPT";
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) ::LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(bytes > 0 ? static_cast<std::size_t>(bytes) : 1, '\0');
    if (bytes > 0)
      ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), bytes, nullptr, nullptr);
    arg.resize(arg.size() - 1);  // the terminating zero
    args.push_back(std::move(arg));
  }
  ::LocalFree(wide);
  return args;
}

bool IsTerminal(std::FILE* stream) noexcept {
  return ::_isatty(::_fileno(stream)) != 0;
}

PortMapListing ListPortMap() {
  PortMapListing listing;
  for (std::string_view name : kPortNames)
    listing.ports.push_back({std::string(name), std::string(name), false, {}});
  return listing;
}

void ResolvePortTarget(PortTarget& target) {
  if (target.kind == PortKind::kNamed) target.device = target.name;
}

std::string PortRefusal(const PortTarget& target) {
  if (target.kind != PortKind::kDevicePath) return {};
  // A device path (\\.\COM10) has no file attributes; a file or a folder has.
  const DWORD attributes = ::GetFileAttributesA(target.device.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return target.device + " is a folder, not a printer port";
  return target.device +
         " is a regular file, not a printer port: nothing was written. To keep the bytes in a "
         "file, use export -o FILE or print-test -o FILE";
}

DeviceFacts ProbeDevice(const std::string& path) {
  DeviceFacts facts;
  std::array<char, 1024> target{};
  // A DOS device name ("COM1", "LPT1") exists when it has a target; anything else is a file.
  if (::QueryDosDeviceA(path.c_str(), target.data(), static_cast<DWORD>(target.size())) != 0) {
    facts.exists = true;
    return facts;
  }
  // A port name without a target is no port. The file calls would answer for it all the
  // same (Wine's GetFileAttributesA finds "LPT3" even where no LPT3 exists).
  if (IsPortDeviceName(path)) return facts;
  facts.exists = ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  return facts;
}

std::vector<std::string> FindOtherPortDevices() {
  return {};
}

std::unique_ptr<PortApi> MakePortApiFor(const PortTarget& target, std::string& unavailable) {
  if (target.ignoreStatus) {
    unavailable =
        "--ignore-status is not available in the Windows build of quillmark-cli; the port's "
        "status decides when the printer is ready";
    return nullptr;
  }
  switch (target.kind) {
    case PortKind::kNamed:
      return std::make_unique<Win32PortApi>();
    case PortKind::kDevicePath:
      return std::make_unique<RoutedPortApi>(target.device);
    case PortKind::kTcp:
      return std::make_unique<TcpPortApi>(target.tcp);
  }
  return nullptr;
}

// Windows has no FIFOs or devices that a path names here: only "-" is written directly.
bool WritesDirectly(const std::string& path) {
  return path == kStandardStream;
}

FileError WriteDirectly(const std::string& path, std::span<const std::uint8_t> bytes) {
  FileError error;
  error.path = path;
  ::_setmode(1, _O_BINARY);  // no 0A becomes 0D 0A
  while (!bytes.empty()) {
    const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 20));
    const int written = ::_write(1, bytes.data(), piece);
    if (written <= 0) {
      error.step = FileStep::kWrite;
      error.code = std::error_code(written < 0 ? errno : EIO, std::generic_category());
      return error;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

std::optional<std::vector<std::uint8_t>> ReadPipedInput(int fd, std::uint64_t maxBytes, int,
                                                        std::string& error) {
  if (::_isatty(fd) != 0) {
    error =
        "a console: pipe the file in (< FILE, or another program's output) or name the "
        "file instead of -";
    return std::nullopt;
  }
  ::_setmode(fd, _O_BINARY);
  std::vector<std::uint8_t> bytes;
  std::array<std::uint8_t, 65536> buffer;
  for (;;) {
    const int got = ::_read(fd, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (got < 0) {
      error = "cannot read: " + std::error_code(errno, std::generic_category()).message();
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

}  // namespace quillmark::cli
