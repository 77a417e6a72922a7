#pragma once

// What the command line's values mean: slots, printer models, command modes, ports and
// serial line settings. Plain functions over strings, so that every rule is tested without
// running the tool; each returns the value or an error text for the user.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/TcpAddress.h"
#include "raster/ConversionOptions.h"
#include "state/AppState.h"
#include "state/PortSettings.h"

namespace quillmark::cli {

// The pictures given with --slot N=PICTURE: element N - 1 holds slot N's path, empty for a
// slot not named.
using SlotPaths = std::array<std::string, kSlotCount>;

struct SlotOption {
  int slot = 0;  // 1 to 10
  std::string path;
};

// "N=PICTURE" with N from 1 to 10 and a path that is not empty.
std::optional<SlotOption> ParseSlotOption(std::string_view text, std::string& error);
// Every --slot value, each slot at most once.
std::optional<SlotPaths> CollectSlots(const std::vector<std::string>& values, std::string& error);

// The target printer as the Target Printer dialog fixes it: a model's NV capacity and
// print width, or "none", 0 and 0 (pictures cropped at 8184 dots).
struct ModelChoice {
  std::string code;  // "A2", "A4", "B1", "W4" or "none"
  std::uint32_t nvCapacity = 0;
  std::int32_t widthBytes = 0;
};
inline constexpr std::string_view kDefaultModel = "A2";
// A model code in any case; "none" only when `allowNone`.
std::optional<ModelChoice> ParseModel(std::string_view text, bool allowNone, std::string& error);

// --mode esc (ESC-prefixed commands, brixMode 1, the default) or plain (brixMode 0).
std::optional<std::int32_t> ParseMode(std::string_view text, std::string& error);

// How pictures are converted, as --threshold, --dither, --invert, --fit and --rotate give it.
struct PictureChoice {
  int threshold = 128;
  std::string dither = "none";
  bool invert = false;
  bool fit = false;
  int rotate = 0;
};
std::optional<ConversionOptions> ConversionOptionsFor(const PictureChoice& choice,
                                                      std::string& error);

// The name in `names` that `word` is most likely a slip of the keys for: the nearest by
// edits (a letter left out, added, changed, or two neighbours swapped, in any case), and
// at most a third of the word's letters away (1 at least, 2 at most). Empty when none is
// that near.
std::string NearestName(std::string_view word, const std::vector<std::string>& names);

// --retry-delay SECONDS: 0 to 3600, fractions allowed; the milliseconds to wait.
std::optional<std::int64_t> ParseRetryDelay(double seconds, std::string& error);

// A size in bytes: "1000", "64K", "512M", "1G" (binary multiples), at least 1 byte.
std::optional<std::uint64_t> ParseByteSize(std::string_view text, std::string& error);

enum class PortKind {
  kNamed,       // "LPT1" to "LPT4", "COM1" to "COM4"
  kDevicePath,  // any other path: a device, a FIFO, a socket
  kTcp,         // "tcp:HOST:PORT", "tcp:HOST" (port 9100)
};

enum class LineKind { kParallel, kSerial };

// Where a download or print-test goes, and which set-up the port gets.
struct PortTarget {
  PortKind kind = PortKind::kNamed;
  std::string text;    // as the user wrote it
  std::string name;    // kNamed: the upper-case name
  std::string device;  // kDevicePath: the path; kNamed: where the port map leads the name
  TcpAddress tcp;      // kTcp
  std::optional<LineKind> forced;  // --port-type: the set-up, whatever the device is
  bool ignoreStatus = false;       // --ignore-status: every readiness query answers ready
  // The set-up as far as it can be told before the port is opened; where the backend can
  // tell what the device is, that decides when it is opened (unless `forced`).
  LineKind line = LineKind::kParallel;
};

// The set-up a device path gets by its name alone: serial for a Windows port name with a
// number ("\\.\COM10"), else parallel. On POSIX systems what the device is decides.
LineKind GuessLineKind(std::string_view path) noexcept;

// Parses --port: a port name in any case, "tcp:HOST:PORT", or a device path. `forced`
// (from --port-type) overrides the set-up of a name or a path; a network port always
// takes the parallel set-up.
std::optional<PortTarget> ParsePortTarget(std::string_view text, std::optional<LineKind> forced,
                                          std::string& error);

// --port-type parallel|serial.
std::optional<LineKind> ParseLineKind(std::string_view text, std::string& error);

// The serial line settings in the user's words: --baud, --data-bits, --parity, --stop-bits.
struct SerialChoice {
  std::uint32_t baud = 9600;
  int dataBits = 8;
  std::string parity = "none";
  int stopBits = 1;
};
// The same as the Port Setting dialog's list indices; empty, with `error`, for a value the
// dialog does not offer.
std::optional<PortSettings> SerialSettingsFor(const SerialChoice& choice, std::string& error);

// The PortSettings of a send: the port index of a name (for a path or a network printer
// the first port of its kind), the parallel flag of the set-up `target.line` says, the
// serial settings of `serial`, and `brixMode`.
PortSettings PortSettingsFor(const PortTarget& target, const PortSettings& serial,
                             std::int32_t brixMode) noexcept;

}  // namespace quillmark::cli
