#include "cli/Options.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "state/PrinterModels.h"

namespace quillmark::cli {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The last part of a path, after a slash (or, as Windows writes them, a backslash).
std::string_view BaseName(std::string_view path) noexcept {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

#ifdef _WIN32
constexpr std::string_view kSerialSpeedsText = "the speed is 50 to 4000000 bits per second";
// The driver takes any speed its hardware can make.
bool IsSerialSpeed(std::uint32_t bitsPerSecond) noexcept {
  return bitsPerSecond >= 50 && bitsPerSecond <= 4000000;
}
#else
constexpr std::string_view kSerialSpeedsText =
    "the speed is one of 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, "
    "460800, 921600";
// The speeds a terminal is set to by name.
bool IsSerialSpeed(std::uint32_t bitsPerSecond) noexcept {
  constexpr std::array<std::uint32_t, 12> kSpeeds = {1200,  1800,  2400,   4800,   9600,   19200,
                                                     38400, 57600, 115200, 230400, 460800, 921600};
  return std::find(kSpeeds.begin(), kSpeeds.end(), bitsPerSecond) != kSpeeds.end();
}
#endif

}  // namespace

std::optional<SlotOption> ParseSlotOption(std::string_view text, std::string& error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    error = "--slot " + std::string(text) + ": write the slot and the picture as N=PICTURE, " +
            "as --slot 1=logo.bmp";
    return std::nullopt;
  }
  const std::string_view number = text.substr(0, equals);
  const std::string_view path = text.substr(equals + 1);
  int slot = 0;
  const bool digits =
      !number.empty() && number.size() <= 2 &&
      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits)
    for (char c : number)
      slot = slot * 10 + (c - '0');
  if (!digits || slot < 1 || slot > kSlotCount) {
    error = "--slot " + std::string(text) + ": the slot number must be 1 to 10";
    return std::nullopt;
  }
  if (path.empty()) {
    error = "--slot " + std::string(text) + ": the picture's file name is missing";
    return std::nullopt;
  }
  return SlotOption{slot, std::string(path)};
}

std::optional<SlotPaths> CollectSlots(const std::vector<std::string>& values, std::string& error) {
  SlotPaths paths;
  for (const std::string& text : values) {
    const std::optional<SlotOption> option = ParseSlotOption(text, error);
    if (!option) return std::nullopt;
    std::string& path = paths[static_cast<std::size_t>(option->slot - 1)];
    if (!path.empty()) {
      error = "slot " + std::to_string(option->slot) + " is given twice (" + path + " and " +
              option->path + "); each slot takes one picture";
      return std::nullopt;
    }
    path = option->path;
  }
  return paths;
}

std::optional<ModelChoice> ParseModel(std::string_view text, bool allowNone, std::string& error) {
  const std::string code = Upper(text);
  if (const std::optional<PrinterModel> model = PrinterModelByCode(code))
    return ModelChoice{code, model->nvCapacity, model->widthBytes};
  if (allowNone && code == "NONE") return ModelChoice{"none", 0, 0};
  error = "--model " + std::string(text) + ": the printer model is A2, A4, B1 or W4" +
          (allowNone ? std::string(", or none") : std::string());
  return std::nullopt;
}

std::optional<std::int32_t> ParseMode(std::string_view text, std::string& error) {
  const std::string mode = Lower(text);
  if (mode == "esc") return 1;
  if (mode == "plain") return 0;
  error = "--mode " + std::string(text) + ": the command mode is esc or plain";
  return std::nullopt;
}

std::optional<ConversionOptions> ConversionOptionsFor(const PictureChoice& choice,
                                                      std::string& error) {
  ConversionOptions options;
  options.threshold = choice.threshold;
  options.invert = choice.invert;
  options.fit = choice.fit;
  options.rotate = choice.rotate;
  const std::optional<Dither> dither = ParseDither(Lower(choice.dither));
  if (!dither) {
    error = "--dither " + choice.dither +
            ": the dithering is floyd-steinberg, atkinson, ordered or none";
    return std::nullopt;
  }
  options.dither = *dither;
  if (options.threshold < 0 || options.threshold > 255) {
    error = "--threshold " + std::to_string(choice.threshold) + ": the threshold is 0 to 255";
    return std::nullopt;
  }
  if (!options.IsValid()) {
    error = "--rotate " + std::to_string(choice.rotate) + ": the turn is 90, 180 or 270 degrees";
    return std::nullopt;
  }
  return options;
}

std::string NearestName(std::string_view word, const std::vector<std::string>& names) {
  const std::string typed = Lower(word);
  const std::size_t limit = std::clamp<std::size_t>(typed.size() / 3, 1, 2);
  std::string nearest;
  std::size_t best = limit + 1;
  for (const std::string& name : names) {
    // Edit distance with swaps of neighbours (optimal string alignment), by rows.
    const std::size_t n = name.size();
    std::vector<std::size_t> before(n + 1), previous(n + 1), current(n + 1);
    for (std::size_t j = 0; j <= n; ++j)
      previous[j] = j;
    for (std::size_t i = 1; i <= typed.size(); ++i) {
      current[0] = i;
      for (std::size_t j = 1; j <= n; ++j) {
        const std::size_t change = typed[i - 1] == name[j - 1] ? 0 : 1;
        current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
        if (i > 1 && j > 1 && typed[i - 1] == name[j - 2] && typed[i - 2] == name[j - 1])
          current[j] = std::min(current[j], before[j - 2] + 1);
      }
      before.swap(previous);
      previous.swap(current);
    }
    if (previous[n] < best) {
      best = previous[n];
      nearest = name;
    }
  }
  return nearest;
}

std::optional<std::int64_t> ParseRetryDelay(double seconds, std::string& error) {
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 3600) {
    error = "--retry-delay: the wait between attempts is 0 to 3600 seconds";
    return std::nullopt;
  }
  return std::llround(seconds * 1000);
}

std::optional<std::uint64_t> ParseByteSize(std::string_view text, std::string& error) {
  std::uint64_t value = 0;
  std::size_t i = 0;
  bool tooBig = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    tooBig = tooBig || value > (UINT64_MAX >> 30) / 10;  // too big for any suffix
    if (!tooBig) value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  const std::string suffix = tooBig ? "?" : Upper(text.substr(i));
  const int shift = suffix.empty() || suffix == "B"                      ? 0
                    : suffix == "K" || suffix == "KB" || suffix == "KIB" ? 10
                    : suffix == "M" || suffix == "MB" || suffix == "MIB" ? 20
                    : suffix == "G" || suffix == "GB" || suffix == "GIB" ? 30
                                                                         : -1;
  if (i == 0 || shift < 0 || value == 0) {
    error = std::string(text) + ": a size is a whole number of bytes, 1 or more, optionally " +
            "followed by K, M or G (1024, 1024^2, 1024^3 bytes)";
    return std::nullopt;
  }
  return value << shift;
}

LineKind GuessLineKind(std::string_view path) noexcept {
  const std::string_view name = BaseName(path);
  // Windows device paths: \\.\COM10
  if (name.size() > 3 && Upper(name.substr(0, 3)) == "COM" && name[3] >= '0' && name[3] <= '9')
    return LineKind::kSerial;
  return LineKind::kParallel;
}

std::optional<LineKind> ParseLineKind(std::string_view text, std::string& error) {
  const std::string kind = Lower(text);
  if (kind == "parallel") return LineKind::kParallel;
  if (kind == "serial") return LineKind::kSerial;
  error = "--port-type " + std::string(text) + ": the port type is parallel or serial";
  return std::nullopt;
}

std::optional<PortTarget> ParsePortTarget(std::string_view text, std::optional<LineKind> forced,
                                          std::string& error) {
  PortTarget target;
  target.text = std::string(text);
  if (text.empty()) {
    error = "--port: the port is missing";
    return std::nullopt;
  }
  const std::string upper = Upper(text);
  const auto named = std::find(kPortNames.begin(), kPortNames.end(), upper);
  if (named != kPortNames.end()) {
    target.kind = PortKind::kNamed;
    target.name = upper;
    target.forced = forced;
    target.line = forced.value_or(
        named - kPortNames.begin() < kFirstSerialPort ? LineKind::kParallel : LineKind::kSerial);
    return target;
  }
  if (IsTcpAddressText(text)) {
    std::string why;
    std::optional<TcpAddress> address = ParseTcpAddress(text, why);
    if (!address) {
      error = "--port " + std::string(text) + ": " + why;
      return std::nullopt;
    }
    if (forced && *forced == LineKind::kSerial) {
      error = "--port-type serial does not apply to a network printer";
      return std::nullopt;
    }
    target.kind = PortKind::kTcp;
    target.tcp = std::move(*address);
    target.line = LineKind::kParallel;
    return target;
  }
  target.kind = PortKind::kDevicePath;
  target.device = std::string(text);
  target.forced = forced;
  target.line = forced.value_or(GuessLineKind(text));
  return target;
}

std::optional<PortSettings> SerialSettingsFor(const SerialChoice& choice, std::string& error) {
  PortSettings settings;
  const auto baud = std::find(kBaudRates.begin(), kBaudRates.end(), choice.baud);
  if (baud != kBaudRates.end()) {
    settings.baudRate = static_cast<std::int32_t>(baud - kBaudRates.begin());
  } else if (IsSerialSpeed(choice.baud)) {
    settings.baudRate = static_cast<std::int32_t>(choice.baud);
  } else {
    error = "--baud " + std::to_string(choice.baud) + ": " + std::string(kSerialSpeedsText);
    return std::nullopt;
  }
  if (choice.dataBits != 7 && choice.dataBits != 8) {
    error = "--data-bits " + std::to_string(choice.dataBits) + ": the data bits are 7 or 8";
    return std::nullopt;
  }
  settings.dataBits = choice.dataBits == 7 ? 0 : 1;
  const std::string parity = Lower(choice.parity);
  if (parity == "none") {
    settings.parity = 0;
  } else if (parity == "odd") {
    settings.parity = 1;
  } else if (parity == "even") {
    settings.parity = 2;
  } else {
    error = "--parity " + choice.parity + ": the parity is none, odd or even";
    return std::nullopt;
  }
  if (choice.stopBits != 1 && choice.stopBits != 2) {
    error = "--stop-bits " + std::to_string(choice.stopBits) + ": the stop bits are 1 or 2";
    return std::nullopt;
  }
  settings.stopBits = choice.stopBits == 2 ? 1 : 0;
  return settings;
}

PortSettings PortSettingsFor(const PortTarget& target, const PortSettings& serial,
                             std::int32_t brixMode) noexcept {
  PortSettings settings = serial;
  settings.brixMode = brixMode;
  if (target.kind == PortKind::kNamed) {
    const auto named = std::find(kPortNames.begin(), kPortNames.end(), target.name);
    settings.port = static_cast<std::int32_t>(named - kPortNames.begin());
  } else {
    // The front end routes whichever name the transport opens to the target; the index
    // only gives the set-up.
    settings.port = target.line == LineKind::kSerial ? kFirstSerialPort : 0;
  }
  settings.parallel = target.line == LineKind::kParallel ? 1 : 0;
  return settings;
}

}  // namespace quillmark::cli
