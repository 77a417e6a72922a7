#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/Platform.h"
#include "port/posix/PosixPortApi.h"
#include "port/posix/TcpPortApi.h"

namespace quillmark::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsTerminal(std::FILE* stream) noexcept {
  return ::isatty(::fileno(stream)) == 1;
}

std::string DeviceForPortName(std::string_view name) {
  const PosixPortApi::DeviceMap devices = PosixPortApi::DefaultDeviceMap();
  const auto found = devices.find(name);
  return found != devices.end() ? found->second : std::string(name);
}

DeviceFacts ProbeDevice(const std::string& path) {
  DeviceFacts facts;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.fifo = S_ISFIFO(info.st_mode);
  facts.terminal = S_ISCHR(info.st_mode) && GuessLineKind(path) == LineKind::kSerial;
  facts.checked = true;
  facts.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
  // A FIFO is opened for writing only.
  if (facts.fifo) facts.accessible = ::access(path.c_str(), W_OK) == 0;
  if (const group* owner = ::getgrgid(info.st_gid)) facts.group = owner->gr_name;
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
  switch (target.kind) {
    case PortKind::kNamed:
      return std::make_unique<PosixPortApi>();
    case PortKind::kDevicePath: {
      // Whichever name the transport opens for the chosen set-up reaches the path.
      PosixPortApi::DeviceMap devices;
      for (std::string_view name : kPortNames)
        devices.emplace(std::string(name), target.device);
      return std::make_unique<PosixPortApi>(std::move(devices));
    }
    case PortKind::kTcp:
      return std::make_unique<TcpPortApi>(target.tcp);
  }
  return nullptr;
}

std::string ResolveErrorOf(const PortApi& api) {
  const auto* tcp = dynamic_cast<const TcpPortApi*>(&api);
  return tcp != nullptr ? tcp->resolveError() : std::string();
}

}  // namespace quillmark::cli
