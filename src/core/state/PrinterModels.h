#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmark {

// The printer models the Target Printer dialog offers: NV memory size and print width.
struct PrinterModel {
  std::string_view code;     // short name for the command line: "A2", "A4", "B1", "W4"
  std::string_view caption;  // the dialog's radio-button text
  int radioId;               // the dialog's control ID
  std::uint32_t nvCapacity;  // bytes
  std::int32_t widthBytes;   // bytes of 8 dots
};

inline constexpr std::array<PrinterModel, 4> kPrinterModels = {{
    {"A2", "Varnok A2 (2Mbit, 576dot)", 1023, 0x40000, 72},
    {"A4", "Varnok A4 (4Mbit, 576dot)", 1024, 0x80000, 72},
    {"B1", "Varnok B1 (1Mbit, 576dot)", 1025, 0x20000, 72},
    {"W4", "Varnok W4 (4Mbit, 832dot)", 1026, 0x80000, 104},
}};

// The model of a checked radio button; the first model when none (0) or an unknown ID
// is given, as the dialog's OK does.
const PrinterModel& PrinterModelForRadio(int checkedRadioId) noexcept;
// The model with this code ("A2", ...), or empty when there is none.
std::optional<PrinterModel> PrinterModelByCode(std::string_view code) noexcept;

}  // namespace quillmark
