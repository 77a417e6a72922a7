#include <gtest/gtest.h>

#include <algorithm>

#include "state/AppState.h"

namespace quillmark {
namespace {

// The defaults where no GUI test can see them (the Windows build has none): the NT
// family's rules, which a failed version query would not give, and LPT1 at 9600 8N1.
TEST(AppState, StartsFromTheDefaults) {
  const AppState state;
  EXPECT_EQ(state.platformId, kPlatformWin32Nt);
  EXPECT_EQ(state.portSettings, (PortSettings{1, 1, 0, 3, 1, 0, 0}));
}

// Slot N holds a fresh block of N - 1 bytes, zeroed (an image's padding relies on that).
TEST(AppState, ReleaseSlotEmptiesOnlyThatSlot) {
  AppState state(kPlatformWin32Nt);
  for (int slot = 1; slot <= kSlotCount; ++slot)
    state.imageSlots[static_cast<std::size_t>(slot - 1)] =
        ByteBlock::Allocate(static_cast<std::uint32_t>(slot - 1));
  // Releasing twice, or a number outside 1 to 10, changes nothing more.
  for (int slot : {3, 3, 0, 11})
    state.ReleaseSlot(slot);
  for (int slot = 0; slot <= kSlotCount + 1; ++slot) {
    const ByteBlock* block = state.Slot(slot);
    ASSERT_EQ(block != nullptr, slot >= 1 && slot <= kSlotCount && slot != 3) << slot;
    if (block != nullptr) {
      EXPECT_EQ(block->size(), static_cast<std::uint32_t>(slot - 1));
      EXPECT_TRUE(std::all_of(block->bytes().begin(), block->bytes().end(),
                              [](std::uint8_t b) { return b == 0; }));
    }
  }
}

}  // namespace
}  // namespace quillmark
