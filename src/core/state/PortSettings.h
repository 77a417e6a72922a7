#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillmark {

// The port and command-mode settings of a run, seven 32-bit integers in this order.
// Each serial field is an index into the tables below. `parallel` is 1 exactly when
// `port` is 0 to 3; the Port Setting dialog writes both together and the defaults agree.
struct PortSettings {
  std::int32_t parallel = 1;  // 1: LPT1-LPT4 (parallel set-up), 0: COM1-COM4 (serial)
  std::int32_t brixMode = 1;  // non-zero: ESC-prefixed command variant
  std::int32_t port = 0;      // index into kPortNames
  std::int32_t baudRate = 3;  // index into kBaudRateTexts (9600), or kMinDirectBaudRate and
                              // above: the speed itself, for speeds the dialog does not list
  std::int32_t dataBits = 1;  // index into kDataBitsTexts (8 bits)
  std::int32_t parity = 0;    // index into kParityTexts (none)
  std::int32_t stopBits = 0;  // index into kStopBitsTexts (1 bit)

  friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

inline constexpr int kFirstSerialPort = 4;  // ports 0-3 are parallel, 4-7 serial

// The port names double as the list texts of the Port Setting dialog and as the device
// names the transport opens.
inline constexpr std::array<std::string_view, 8> kPortNames = {"LPT1", "LPT2", "LPT3", "LPT4",
                                                               "COM1", "COM2", "COM3", "COM4"};
inline constexpr std::array<std::string_view, 5> kBaudRateTexts = {"1200BPS", "2400BPS", "4800BPS",
                                                                   "9600BPS", "19200BPS"};
inline constexpr std::array<std::uint32_t, 5> kBaudRates = {1200, 2400, 4800, 9600, 19200};
inline constexpr std::int32_t kMinDirectBaudRate = 50;
inline constexpr std::array<std::string_view, 2> kDataBitsTexts = {"7Bit", "8Bit"};
inline constexpr std::array<std::string_view, 3> kParityTexts = {"NonParity", "OddParity",
                                                                 "EvenParity"};
inline constexpr std::array<std::string_view, 2> kStopBitsTexts = {"1Bit", "2Bit"};

}  // namespace quillmark
