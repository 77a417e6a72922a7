#include "state/AppState.h"

namespace quillmark {

AppState::AppState() : AppState(QueryPlatformId()) {}

AppState::AppState(std::uint32_t platformIdValue) : platformId(platformIdValue) {}

AppState::~AppState() {
  for (int slot = 1; slot <= kSlotCount; ++slot)
    ReleaseSlot(slot);
}

void AppState::ReleaseSlot(int slot) noexcept {
  if (slot < 1 || slot > kSlotCount) return;
  imageSlots[static_cast<std::size_t>(slot - 1)].reset();
}

const ByteBlock* AppState::Slot(int slot) const noexcept {
  if (slot < 1 || slot > kSlotCount) return nullptr;
  const auto& entry = imageSlots[static_cast<std::size_t>(slot - 1)];
  return entry ? &*entry : nullptr;
}

}  // namespace quillmark
