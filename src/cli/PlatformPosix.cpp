#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace

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
