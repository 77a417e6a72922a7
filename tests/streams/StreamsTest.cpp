#include <gtest/gtest.h>

#include <vector>

#include "streams/Streams.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::optional<ByteBlock>& block) {
  if (!block) return {};
  return Bytes(block->bytes().begin(), block->bytes().end());
}

Bytes Blanks(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i)
    out.insert(out.end(), BlankNvImage.begin(), BlankNvImage.end());
  return out;
}

// A record of x = 2, y = 3 (52 bytes) whose raster bytes count up, so misplacement shows.
ByteBlock Record2x3() {
  auto block = ByteBlock::Allocate(52);
  block->data()[0] = 2;
  block->data()[2] = 3;
  for (std::uint32_t i = 4; i < 52; ++i)
    block->data()[i] = static_cast<std::uint8_t>(i);
  return std::move(*block);
}

TEST(DefinitionStream, EmptySlotsInBothModes) {
  struct Case {
    std::int32_t brixMode;
    Bytes header;
  };
  const Case cases[] = {{0, {0x1C, 0x71, 0x0A}},
                        {1, {0x1B, 0x1C, 0x71, 0x0A}},
                        {2, {0x1B, 0x1C, 0x71, 0x0A}},  // any non-zero value selects ESC
                        {-1, {0x1B, 0x1C, 0x71, 0x0A}}};
  for (const auto& c : cases) {
    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = c.brixMode;
    Bytes expected = c.header;
    const Bytes blanks = Blanks(10);
    expected.insert(expected.end(), blanks.begin(), blanks.end());
    EXPECT_EQ(ToBytes(BuildNvDefinitionStream(state)), expected) << c.brixMode;
    EXPECT_EQ(NvDefinitionStreamSize(state), expected.size());
  }
}

TEST(DefinitionStream, FilledSlotKeepsItsPlace) {
  for (int slot : {1, 5, 10}) {
    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = 0;
    state.imageSlots[static_cast<std::size_t>(slot - 1)] = Record2x3();
    const Bytes record = ToBytes(ByteBlock::CopyOf(state.Slot(slot)->bytes()));

    Bytes expected = {0x1C, 0x71, 0x0A};
    const Bytes before = Blanks(slot - 1), after = Blanks(10 - slot);
    expected.insert(expected.end(), before.begin(), before.end());
    expected.insert(expected.end(), record.begin(), record.end());
    expected.insert(expected.end(), after.begin(), after.end());
    const Bytes stream = ToBytes(BuildNvDefinitionStream(state));
    EXPECT_EQ(stream.size(), 3u + 9 * 12 + 52) << slot;
    EXPECT_EQ(stream, expected) << slot;
    // Building again without a change gives the same bytes; the slot is untouched.
    EXPECT_EQ(ToBytes(BuildNvDefinitionStream(state)), stream);
    EXPECT_EQ(ToBytes(ByteBlock::CopyOf(state.Slot(slot)->bytes())), record);
  }
}

TEST(DefinitionStream, EveryRecordFollowsTheOneBefore) {
  // All ten slots filled with records of different sizes, and every other slot empty, in
  // ESC mode: each record must start where the one before ended.
  for (const bool alternate : {false, true}) {
    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = 1;
    Bytes expected = {0x1B, 0x1C, 0x71, 0x0A};
    for (int slot = 1; slot <= 10; ++slot) {
      if (alternate && slot % 2 == 0) {
        expected.insert(expected.end(), BlankNvImage.begin(), BlankNvImage.end());
        continue;
      }
      Bytes record(4 + 8 * static_cast<std::size_t>(slot), 0);
      record[0] = 1;
      record[2] = static_cast<std::uint8_t>(slot);
      for (std::size_t i = 4; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(slot * 16 + i);
      state.imageSlots[static_cast<std::size_t>(slot - 1)] = std::move(*ByteBlock::CopyOf(record));
      expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_EQ(NvDefinitionStreamSize(state), expected.size());
    EXPECT_EQ(ToBytes(BuildNvDefinitionStream(state)), expected);
  }
}

TEST(PrintTestStream, BothVariants) {
  const Bytes plain = ToBytes(BuildNvPrintTestStream(0));
  ASSERT_EQ(plain.size(), 152u);
  const Bytes firstBlock = {0x5B, 0x49, 0x6D, 0x61, 0x67, 0x65, 0x31, 0x5D,
                            0x0A, 0x1C, 0x70, 0x01, 0x00, 0x0A, 0x0A};
  EXPECT_TRUE(std::equal(firstBlock.begin(), firstBlock.end(), plain.begin()));
  const Bytes tenth = {'[',  'I',  'm',  'a',  'g',  'e',  '1',  '0', ']',
                       0x0A, 0x1C, 0x70, 0x0A, 0x00, 0x0A, 0x0A, 0x00};
  EXPECT_TRUE(std::equal(tenth.begin(), tenth.end(), plain.begin() + 135));

  for (std::int32_t mode : {1, 7}) {
    const Bytes esc = ToBytes(BuildNvPrintTestStream(mode));
    ASSERT_EQ(esc.size(), 162u);
    EXPECT_EQ(Bytes(esc.begin() + 9, esc.begin() + 14), (Bytes{0x1B, 0x1C, 0x70, 0x01, 0x00}));
    EXPECT_EQ(esc.back(), 0x00);
    // The ESC variant is the plain one with 1B before each of the ten print commands.
    Bytes stripped;
    for (std::size_t i = 0; i < esc.size(); ++i)
      if (!(esc[i] == 0x1B && i + 1 < esc.size() && esc[i + 1] == 0x1C)) stripped.push_back(esc[i]);
    EXPECT_EQ(stripped, plain);
  }
}

}  // namespace
}  // namespace quillmark
