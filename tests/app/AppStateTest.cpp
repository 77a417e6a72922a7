#include <gtest/gtest.h>

#include <cstring>

#include "app/AppState.h"
#include "dialogs/PrinterModels.h"

namespace quillmark {
namespace {

TEST(AppState, StartsFromTheDefaults) {
  AppState state;
  for (const auto& slot : state.imageSlots)
    EXPECT_FALSE(slot.has_value());
  const PortSettings expected{1, 1, 0, 3, 1, 0, 0};
  EXPECT_EQ(state.portSettings, expected);
  EXPECT_EQ(state.portHandle, nullptr);
  EXPECT_EQ(state.patchEnabled, 0);
  EXPECT_EQ(state.nvCapacity, 0u);
  EXPECT_EQ(state.widthBytes, 0);
  // Linux is given the NT family's rules; every Windows this builds for (and Wine) is of
  // that family, so a failed version query (0) shows here.
  EXPECT_EQ(state.platformId, kPlatformWin32Nt);
}

TEST(AppState, ReleaseSlotEmptiesOnlyThatSlot) {
  AppState state(kPlatformWin32Nt);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    auto block = ByteBlock::Allocate(static_cast<std::uint32_t>(slot));
    ASSERT_TRUE(block);
    state.imageSlots[static_cast<std::size_t>(slot - 1)] = std::move(block);
  }
  state.ReleaseSlot(3);
  EXPECT_EQ(state.Slot(3), nullptr);
  ASSERT_NE(state.Slot(4), nullptr);
  EXPECT_EQ(state.Slot(4)->size(), 4u);
  // Releasing again, or a number outside 1 to 10, changes nothing.
  state.ReleaseSlot(3);
  state.ReleaseSlot(0);
  state.ReleaseSlot(11);
  int filled = 0;
  for (int slot = 1; slot <= kSlotCount; ++slot)
    filled += state.Slot(slot) != nullptr;
  EXPECT_EQ(filled, 9);
  EXPECT_EQ(state.Slot(0), nullptr);
  EXPECT_EQ(state.Slot(11), nullptr);
}

TEST(ByteBlock, AllocatesZeroedAndCopies) {
  auto zero = ByteBlock::Allocate(64);
  ASSERT_TRUE(zero);
  ASSERT_EQ(zero->size(), 64u);
  for (auto byte : zero->bytes())
    EXPECT_EQ(byte, 0);

  const std::uint8_t source[] = {0x1C, 0x71, 0x0A};
  auto copy = ByteBlock::CopyOf(source);
  ASSERT_TRUE(copy);
  ASSERT_EQ(copy->size(), 3u);
  EXPECT_EQ(std::memcmp(copy->data(), source, 3), 0);

  auto empty = ByteBlock::Allocate(0);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size(), 0u);
  EXPECT_TRUE(empty->bytes().empty());

  // Moving hands the buffer over; the source no longer owns it.
  ByteBlock moved = std::move(*copy);
  EXPECT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved.data()[2], 0x0A);
}

TEST(PrinterModels, RadioButtonsGiveTheModelTable) {
  struct Case {
    int radio;
    std::uint32_t capacity;
    std::int32_t width;
  };
  const Case cases[] = {{1023, 0x40000, 72},
                        {1024, 0x80000, 72},
                        {1025, 0x20000, 72},
                        {1026, 0x80000, 104},
                        {0, 0x40000, 72}};
  for (const auto& c : cases) {
    const auto& model = PrinterModelForRadio(c.radio);
    EXPECT_EQ(model.nvCapacity, c.capacity) << c.radio;
    EXPECT_EQ(model.widthBytes, c.width) << c.radio;
  }
  ASSERT_TRUE(PrinterModelByCode("W4"));
  EXPECT_EQ(PrinterModelByCode("W4")->widthBytes, 104);
  EXPECT_FALSE(PrinterModelByCode("w4"));
  EXPECT_FALSE(PrinterModelByCode("X9"));
}

}  // namespace
}  // namespace quillmark
