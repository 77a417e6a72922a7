#include <gtest/gtest.h>

#include <string>

#include "raster/SlotLabel.h"

namespace quillmark {
namespace {

TEST(AppendFileNameToLabel, BudgetMarkAndWholeCharacters) {
  const std::string slot = "Bitmap3  : ";  // 11 bytes: 21 left of the budget of 32
  const std::string e = "\xC3\xA9", han = "\xE6\xBC\xA2", emoji = "\xF0\x9F\x96\xBC";
  const std::string a18(18, 'a'), a19(19, 'a'), a20(20, 'a'), a21(21, 'a');
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {han + "logo.bmp", han + "logo.bmp"}, {a21, a21}, {a21 + "v", a21 + "..."},
      // A character that would straddle the cut moves out whole.
      {a20 + e + "x.bmp", a20 + "..."}, {a19 + e + "x.bmp", a19 + e + "..."}, {a19 + han + ".bmp", a19 + "..."},
      {a18 + han + ".bmp", a18 + han + "..."}, {a18 + emoji + ".bmp", a18 + "..."}};
  // clang-format on
  for (const auto& [name, appended] : cases)
    EXPECT_EQ(AppendFileNameToLabel(slot, name), slot + appended) << name;
  // At or over the budget nothing is appended, not even the mark.
  EXPECT_EQ(AppendFileNameToLabel(std::string(32, 'L'), "x.bmp"), std::string(32, 'L'));
  EXPECT_EQ(AppendFileNameToLabel(std::string(31, 'L'), "xy.bmp"), std::string(31, 'L') + "x...");
}

}  // namespace
}  // namespace quillmark
