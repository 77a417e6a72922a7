#pragma once

// What the command-line tool needs of the system beyond the core: terminals, the devices
// behind port names, and the port backend for a target. One implementation for POSIX
// systems (PlatformPosix.cpp) and one for Windows (PlatformWin32.cpp).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Options.h"
#include "files/FileIo.h"
#include "port/PortApi.h"

namespace quillmark::cli {

// The program's arguments in UTF-8: argv as it is on POSIX systems; on Windows, where argv
// is in the ANSI code page, the command line read again as UTF-16 and converted.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether `stream` (stdin, stderr) is a terminal.
bool IsTerminal(std::FILE* stream) noexcept;

// Where the eight names lead: on POSIX systems the user's port map (the defaults, and the
// map file over them), on Windows the names themselves.
struct NamedPort {
  std::string name;                  // "LPT1"
  std::string target;                // a device path, tcp:HOST:PORT, or the name itself on Windows
  bool mapped = false;               // the map file says so
  std::vector<std::string> options;  // the map entry's options: "ignore-status", "serial"
};
struct PortMapListing {
  std::string path;  // the map file; empty where there is none (Windows)
  bool found = false;
  std::vector<std::string> problems;  // lines of the file left out, and why
  std::vector<NamedPort> ports;       // LPT1 to LPT4, COM1 to COM4
};
PortMapListing ListPortMap();

// Fills what can be told of `target` before it is opened: the device a name leads to,
// and on POSIX systems the set-up from what the device is (unless --port-type says).
void ResolvePortTarget(PortTarget& target);

// Why `target` cannot be a printer port at all (a regular file, a folder, a disk): the
// message for a usage error, refused before anything is opened. Empty when it may be one.
std::string PortRefusal(const PortTarget& target);

// What the system says about a device path, for the port list.
struct DeviceFacts {
  bool exists = false;
  bool checked = false;     // whether `accessible` was found out
  bool accessible = false;  // this user may open it for reading and writing
  bool fifo = false;
  std::string resolved;  // where its symbolic links lead, when they do
  std::string kind;      // "serial", "parallel", or empty when the device does not tell
  std::string group;     // the group owning it (POSIX), for the way to get access
};
DeviceFacts ProbeDevice(const std::string& path);

// Printer and serial devices present besides the eight names' devices (USB printers and
// USB serial adapters), for the port list.
std::vector<std::string> FindOtherPortDevices();

// The port backend that reaches `target`: the system's backend for a port name; for a
// device path or tcp: a backend opening that whatever name the transport asks for. The
// target's --port-type and --ignore-status go with it. Null, with `unavailable` saying
// why, when this system cannot reach the target so.
std::unique_ptr<PortApi> MakePortApiFor(const PortTarget& target, std::string& unavailable);

// "-" as a picture, a stream or an output: standard input or standard output.
inline constexpr std::string_view kStandardStream = "-";

// Whether the output `path` is written straight into it rather than through a temporary
// file renamed over it: "-" (standard output), and on POSIX systems an existing FIFO,
// terminal, character device or socket (/dev/stdout, a pipe), which cannot be replaced.
bool WritesDirectly(const std::string& path);

// Writes every byte to standard output ("-") or into the existing file at `path`, as
// WritesDirectly allows. A FIFO nobody reads is refused at once (kOpenForWriting, ENXIO)
// rather than waited for; a write or close that fails is kWrite or kClose with the
// system's error. SIGPIPE is ignored, so a reader that leaves is an error (EPIPE).
FileError WriteDirectly(const std::string& path, std::span<const std::uint8_t> bytes);

// The bytes of a picture or a stream piped in on `fd` (standard input), up to its end.
// Empty, with `error` saying in plain words what standard input is or did ("a terminal:
// ...", to follow "standard input: "), when `fd` is a terminal (nobody types a picture:
// refused at once), closed or a folder, when it gives more than `maxBytes`, when nothing
// arrives for `idleMs` milliseconds (POSIX systems; on Windows a read waits), or a read
// fails.
std::optional<std::vector<std::uint8_t>> ReadPipedInput(int fd, std::uint64_t maxBytes, int idleMs,
                                                        std::string& error);

}  // namespace quillmark::cli
