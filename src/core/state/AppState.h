#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "state/ByteBlock.h"
#include "state/PortSettings.h"

namespace quillmark {

class PortDevice;  // an open printer port (port/PortApi.h)

// Closes an open printer port when its owner lets it go. Defined with the port, so that the
// state needs no port header; it converts from the default deleter, so that a port opened
// as a std::unique_ptr<PortDevice> can be kept in the state.
struct PortDeviceDeleter {
  PortDeviceDeleter() noexcept = default;
  PortDeviceDeleter(std::default_delete<PortDevice>) noexcept {}  // NOLINT: implicit
  void operator()(PortDevice* device) const noexcept;
};

inline constexpr int kSlotCount = 10;

// Platform families that select the parallel-port readiness test and write time-out.
inline constexpr std::uint32_t kPlatformWin32Windows = 1;  // Windows 95/98
inline constexpr std::uint32_t kPlatformWin32Nt = 2;       // NT family

// The platform family of the running system: the real one on Windows, the NT family
// elsewhere, whose rules (status-byte readiness, 2000 ms parallel write time-out) fit
// POSIX printer devices.
std::uint32_t QueryPlatformId() noexcept;

// The one working state of a run. Every run starts from these defaults; nothing of it is
// kept between runs.
struct AppState {
  AppState();  // platformId from QueryPlatformId()
  explicit AppState(std::uint32_t platformIdValue);
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;
  ~AppState();  // releases slots 1 to 10 in that order

  // Empties slot 1 to 10, freeing its image; an empty slot, or a number outside 1 to 10,
  // is left alone.
  void ReleaseSlot(int slot) noexcept;
  // Slot 1 to 10 (element slot - 1 of imageSlots); null when empty or out of range.
  const ByteBlock* Slot(int slot) const noexcept;

  // Element 0 is slot 1. An empty optional is an empty slot.
  std::array<std::optional<ByteBlock>, kSlotCount> imageSlots;
  PortSettings portSettings;
  std::uint32_t platformId = kPlatformWin32Nt;
  // The open printer port, only between the opening and the closing of one send.
  std::unique_ptr<PortDevice, PortDeviceDeleter> portHandle;
  std::int32_t patchEnabled = 0;
  std::uint32_t nvCapacity = 0;  // bytes; 0 until a target printer is confirmed
  std::int32_t widthBytes = 0;   // print width in bytes of 8 dots; 0 until confirmed
};

}  // namespace quillmark
