#pragma once

// What the command-line tool needs of the system beyond the core: terminals, the devices
// behind port names, and the port backend for a target. One implementation for POSIX
// systems (PlatformPosix.cpp) and one for Windows (PlatformWin32.cpp).

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Options.h"
#include "port/PortApi.h"

namespace quillmark::cli {

// The program's arguments in UTF-8: argv as it is on POSIX systems; on Windows, where argv
// is in the ANSI code page, the command line read again as UTF-16 and converted.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether `stream` (stdin, stderr) is a terminal.
bool IsTerminal(std::FILE* stream) noexcept;

// The device a port name opens: /dev/lp0 for "LPT1" on POSIX systems, the name itself on
// Windows.
std::string DeviceForPortName(std::string_view name);

// What the system says about a device path, for the port list and for explaining a failed
// open.
struct DeviceFacts {
  bool exists = false;
  bool checked = false;     // whether `accessible` was found out
  bool accessible = false;  // this user may open it for reading and writing
  bool fifo = false;
  bool terminal = false;  // a character device named like a serial port
  std::string group;      // the group owning it (POSIX), for the way to get access
};
DeviceFacts ProbeDevice(const std::string& path);

// Printer and serial devices present besides the eight names' devices (USB printers and
// USB serial adapters), for the port list.
std::vector<std::string> FindOtherPortDevices();

// The port backend that reaches `target`: the system's backend for a port name; for a
// device path the system's backend opening that path whatever name the transport asks
// for; for tcp: the network backend. Null, with `unavailable` saying why, when this
// system has no backend for the target.
std::unique_ptr<PortApi> MakePortApiFor(const PortTarget& target, std::string& unavailable);

// Why the host of the last failed network open could not be resolved, when the backend
// knows; empty otherwise.
std::string ResolveErrorOf(const PortApi& api);

}  // namespace quillmark::cli
