#include <gtest/gtest.h>

#include <string>

#include "raster/SlotLabel.h"

namespace quillmark {
namespace {

TEST(SlotLabel, ElevenCharactersEndingInABlank) {
  EXPECT_EQ(SlotLabel(1), "Bitmap1  : ");
  EXPECT_EQ(SlotLabel(2), "Bitmap2  : ");
  EXPECT_EQ(SlotLabel(9), "Bitmap9  : ");
  EXPECT_EQ(SlotLabel(10), "Bitmap10 : ");
  EXPECT_EQ(SlotLabel(0), "");
  EXPECT_EQ(SlotLabel(11), "");
}

TEST(AppendFileNameToLabel, BudgetMarkAndWholeCharacters) {
  const std::string slot = "Bitmap3  : ";  // 11 bytes: 21 left of the budget of 32
  const std::string e = "\xC3\xA9", han = "\xE6\xBC\xA2",
                    emoji = "\xF0\x9F\x96\xBC";  // 2, 3, 4 bytes
  const std::string a18(18, 'a'), a19(19, 'a'), a20(20, 'a');
  const std::pair<std::string, std::string> cases[] = {
      {"logo.bmp", "logo.bmp"},
      {"abcdefghijklmnopqrstu", "abcdefghijklmnopqrstu"},  // 21: whole, no mark
      {"abcdefghijklmnopqrstuv", "abcdefghijklmnopqrstu..."},
      {"abcdefghijklmnopqrstuvwxyz.bmp", "abcdefghijklmnopqrstu..."},  // 35 bytes in all
      {"", ""},
      // A character that would straddle the cut moves out whole.
      {a20 + e + "x.bmp", a20 + "..."},
      {a19 + e + "x.bmp", a19 + e + "..."},
      {a19 + han + ".bmp", a19 + "..."},
      {a18 + han + ".bmp", a18 + han + "..."},
      {a18 + emoji + ".bmp", a18 + "..."},
      {emoji + emoji + emoji + emoji + emoji + emoji,
       emoji + emoji + emoji + emoji + emoji + "..."},
      {han + "logo.bmp", han + "logo.bmp"},
  };
  for (const auto& [name, appended] : cases)
    EXPECT_EQ(AppendFileNameToLabel(slot, name), slot + appended) << name;

  // At or over the budget nothing is appended, not even the mark.
  EXPECT_EQ(AppendFileNameToLabel(std::string(32, 'L'), "x.bmp"), std::string(32, 'L'));
  EXPECT_EQ(AppendFileNameToLabel(std::string(36, 'L'), "x.bmp"), std::string(36, 'L'));
  EXPECT_EQ(AppendFileNameToLabel(std::string(31, 'L'), "xy.bmp"), std::string(31, 'L') + "x...");
  EXPECT_EQ(AppendFileNameToLabel("", std::string(40, 'n')), std::string(32, 'n') + "...");
}

}  // namespace
}  // namespace quillmark
