#pragma once

// Where the eight port names lead on a POSIX system. By default "LPTn" is /dev/lp(n-1)
// where that exists, else the n-th USB printer /dev/usb/lp(n-1), and "COMn" is
// /dev/ttyS(n-1). A small text file in the user's configuration folder points any name
// at any device or network printer instead, one line a name:
//
//   # NAME = DEVICE [OPTION...]
//   LPT1 = /dev/usb/lp0 ignore-status
//   LPT2 = tcp:192.168.1.50:9100
//   COM1 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0
//   COM2 = /dev/rfcomm0 parallel
//
// DEVICE is an absolute path (symbolic links are followed when it is opened) or
// tcp:HOST:PORT. Options: "serial" or "parallel" choose the set-up where the device does
// not tell or should not decide; "ignore-status" makes every readiness query answer ready,
// for printers that answer 0 to every status request. Names are LPT1-LPT4 and COM1-COM4 in
// any case; a '#' starts a comment. A line that cannot be read is left out and reported.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortApi.h"

namespace quillmark {

// Where a name leads and how the port is used there.
struct PortRoute {
  PortRoute() = default;
  // A route to `targetText` with the set-up the device gives and the status asked for.
  PortRoute(std::string targetText) : target(std::move(targetText)) {}  // NOLINT: implicit

  std::string target;              // a device path, or tcp:HOST:PORT
  std::optional<DeviceKind> kind;  // the set-up asked for; unset: what the device is
  bool ignoreStatus = false;       // every readiness query answers ready

  friend bool operator==(const PortRoute&, const PortRoute&) = default;
};

// Port name ("LPT1") to route. The name kAnyPortName stands for every name not listed.
using PortMap = std::map<std::string, PortRoute, std::less<>>;
inline constexpr std::string_view kAnyPortName = "*";

// The routes of the eight names without a map file. `exists` tells whether a path is
// there (by default: the system's answer).
PortMap DefaultPortMap(bool (*exists)(const std::string& path) = nullptr);

// The user's map file: $XDG_CONFIG_HOME/quillmark/ports.conf, or ~/.config/quillmark/
// ports.conf when XDG_CONFIG_HOME is not set (or not an absolute path); empty when HOME is
// not set either.
std::string UserPortMapPath();

// What reading a map file found.
struct PortMapFile {
  std::string path;
  bool found = false;                 // the file was there and read
  std::vector<std::string> mapped;    // the names it set, in order
  std::vector<std::string> problems;  // "line 3: ...", one for each line left out
};

// Reads the map file at `path` over `map`: each good line replaces its name's route.
PortMapFile ReadPortMapFile(const std::string& path, PortMap& map);

// The default map with the user's file read over it; what the file held in `*file`.
PortMap UserPortMap(PortMapFile* file = nullptr);

}  // namespace quillmark
