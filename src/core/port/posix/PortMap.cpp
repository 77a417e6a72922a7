#include "port/posix/PortMap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "port/TcpAddress.h"
#include "state/PortSettings.h"

namespace quillmark {
namespace {

bool SystemSaysExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string Upper(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// One line's route, or the reason it cannot be one.
std::optional<PortRoute> ParseRoute(std::istringstream& words, std::string& problem) {
  PortRoute route;
  if (!(words >> route.target)) {
    problem = "the device is missing: write NAME = DEVICE, as LPT1 = /dev/usb/lp0";
    return std::nullopt;
  }
  if (IsTcpAddressText(route.target)) {
    std::string why;
    if (!ParseTcpAddress(route.target, why)) {
      problem = route.target + ": " + why;
      return std::nullopt;
    }
  } else if (route.target.front() != '/') {
    problem = route.target + ": a device is an absolute path (/dev/...) or tcp:HOST:PORT";
    return std::nullopt;
  }
  for (std::string option; words >> option;) {
    if (option == "ignore-status") {
      route.ignoreStatus = true;
    } else if (option == "serial" || option == "parallel") {
      route.kind = option == "serial" ? DeviceKind::kSerial : DeviceKind::kParallel;
    } else {
      problem = "unknown option " + option + " (the options are serial, parallel, ignore-status)";
      return std::nullopt;
    }
  }
  return route;
}

}  // namespace

PortMap DefaultPortMap(bool (*exists)(const std::string& path)) {
  if (exists == nullptr) exists = &SystemSaysExists;
  PortMap map;
  for (int n = 1; n <= 4; ++n) {
    const std::string index = std::to_string(n - 1);
    const std::string lp = "/dev/lp" + index;
    map.emplace("LPT" + std::to_string(n), exists(lp) ? lp : "/dev/usb/lp" + index);
    map.emplace("COM" + std::to_string(n), "/dev/ttyS" + index);
  }
  return map;
}

std::string UserPortMapPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/quillmark/ports.conf";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0')
    return std::string(home) + "/.config/quillmark/ports.conf";
  return {};
}

PortMapFile ReadPortMapFile(const std::string& path, PortMap& map) {
  PortMapFile file;
  file.path = path;
  struct stat info {};
  // Only a regular file is read: a FIFO in its place would hold the program's start.
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return file;
  std::ifstream in;
  if (S_ISREG(info.st_mode)) in.open(path);
  if (!in) {
    file.problems.push_back(path + ": cannot be read");
    return file;
  }
  file.found = true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t comment = line.find('#');
    if (comment != std::string::npos) line.erase(comment);
    const std::size_t equals = line.find('=');
    std::istringstream head(line.substr(0, equals));
    std::string name;
    if (!(head >> name) && equals == std::string::npos) continue;  // blank
    std::string problem;
    std::string rest;
    if (equals == std::string::npos || (head >> rest)) {
      problem = "write NAME = DEVICE [OPTION...], as LPT1 = /dev/usb/lp0";
    } else if (name = Upper(name);
               std::find(kPortNames.begin(), kPortNames.end(), name) == kPortNames.end()) {
      problem = "unknown port " + name + " (the names are LPT1-LPT4 and COM1-COM4)";
    } else {
      std::istringstream words(line.substr(equals + 1));
      if (std::optional<PortRoute> route = ParseRoute(words, problem)) {
        map[name] = std::move(*route);
        file.mapped.push_back(name);
        continue;
      }
    }
    file.problems.push_back("line " + std::to_string(number) + ": " + problem);
  }
  return file;
}

PortMap UserPortMap(PortMapFile* file) {
  PortMap map = DefaultPortMap();
  PortMapFile read = ReadPortMapFile(UserPortMapPath(), map);
  if (file != nullptr) *file = std::move(read);
  return map;
}

}  // namespace quillmark
