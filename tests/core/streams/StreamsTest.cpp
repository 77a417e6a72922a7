#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "streams/Streams.h"
#include "support/Bytes.h"

namespace quillmark {
namespace {

using testing::Bytes;
using testing::BytesOf;

// The header, then each slot's record or the blank image, each starting where the one
// before ended. Records differ in size and count up from a value of their own, so a
// misplaced or shortened one shows.
TEST(DefinitionStream, HeaderThenEachSlotsRecordOrTheBlankImage) {
  const std::vector<int> all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::pair<std::int32_t, std::vector<int>> cases[] = {
      {0, {}},  {1, {}},  {2, {}},   {-1, {}},  // any non-zero mode selects ESC
      {0, {1}}, {0, {5}}, {0, {10}}, {1, all}, {1, {1, 3, 5, 7, 9}},
  };
  for (const auto& [brixMode, filled] : cases) {
    SCOPED_TRACE(::testing::Message() << brixMode << ", " << filled.size() << " filled");
    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = brixMode;
    Bytes expected = brixMode != 0 ? Bytes{0x1B, 0x1C, 0x71, 0x0A} : Bytes{0x1C, 0x71, 0x0A};
    for (int slot = 1; slot <= 10; ++slot) {
      if (std::find(filled.begin(), filled.end(), slot) == filled.end()) {
        expected.insert(expected.end(), BlankNvImage.begin(), BlankNvImage.end());
        continue;
      }
      Bytes record = {2, 0, static_cast<std::uint8_t>(slot), 0};  // x = 2, y = slot
      for (int i = 0; i < 16 * slot; ++i)
        record.push_back(static_cast<std::uint8_t>(slot * 16 + i));
      state.imageSlots[static_cast<std::size_t>(slot - 1)] = ByteBlock::CopyOf(record);
      expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_EQ(BytesOf(BuildNvDefinitionStream(state)), expected);
    EXPECT_EQ(NvDefinitionStreamSize(state), expected.size());
  }
}

// "[ImageN]" LF, FS p N 0 (ESC-prefixed in ESC mode), LF LF for N = 1 to 10, then NUL.
TEST(PrintTestStream, TenLabelledPrintCommandsInEitherMode) {
  for (std::int32_t brixMode : {0, 1, 7}) {
    Bytes expected;
    for (std::uint8_t n = 1; n <= 10; ++n) {
      const std::string label = "[Image" + std::to_string(n) + "]\n";
      expected.insert(expected.end(), label.begin(), label.end());
      if (brixMode != 0) expected.push_back(0x1B);
      expected.insert(expected.end(), {0x1C, 0x70, n, 0x00, 0x0A, 0x0A});
    }
    expected.push_back(0x00);
    EXPECT_EQ(expected.size(), brixMode != 0 ? 162u : 152u);
    EXPECT_EQ(BytesOf(BuildNvPrintTestStream(brixMode)), expected) << brixMode;
  }
}

}  // namespace
}  // namespace quillmark
