#include <gtest/gtest.h>

#include <string>

#include "raster/SlotLabel.h"

namespace quillmark {
namespace {

TEST(AppendFileNameToLabel, BudgetAndMark) {
  struct Case {
    std::string label, name;
    std::string expected;
  };
  const std::string slot3 = "Bitmap3  : ";
  const std::string at32(32, 'L');
  const Case cases[] = {
      {slot3, "logo.bmp", slot3 + "logo.bmp"},
      {slot3, "abcdefghijklmnopqrstu", slot3 + "abcdefghijklmnopqrstu"},      // 21: whole
      {slot3, "abcdefghijklmnopqrstuv", slot3 + "abcdefghijklmnopqrstu..."},  // 22: cut
      {slot3, "abcdefghijklmnopqrstuvwxyz.bmp", slot3 + "abcdefghijklmnopqrstu..."},
      {slot3, "", slot3},
      {at32, "x.bmp", at32},                    // at the budget: nothing, not even the mark
      {at32 + "MORE", "x.bmp", at32 + "MORE"},  // over it: left as it is
      {std::string(31, 'L'), "xy.bmp", std::string(31, 'L') + "x..."},
      {"", std::string(40, 'n'), std::string(32, 'n') + "..."},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(AppendFileNameToLabel(k.label, k.name), k.expected) << k.label << "|" << k.name;
  }
  EXPECT_EQ((slot3 + "abcdefghijklmnopqrstu...").size(), 35u);
}

TEST(AppendFileNameToLabel, NeverSplitsAUtf8Character) {
  const std::string slot = "Bitmap1  : ";  // 11 bytes: 21 left
  struct Case {
    std::string name;
    std::string kept;  // what of the name precedes the mark
  };
  const std::string e = "\xC3\xA9";              // é, 2 bytes
  const std::string han = "\xE6\xBC\xA2";        // 漢, 3 bytes
  const std::string emoji = "\xF0\x9F\x96\xBC";  // 🖼, 4 bytes
  const Case cases[] = {
      // 20 ASCII bytes, then é would straddle byte 21: it moves out whole.
      {std::string(20, 'a') + e + "x.bmp", std::string(20, 'a')},
      // 19 ASCII bytes and é end exactly at 21.
      {std::string(19, 'a') + e + "x.bmp", std::string(19, 'a') + e},
      {std::string(19, 'a') + han + ".bmp", std::string(19, 'a')},
      {std::string(18, 'a') + han + ".bmp", std::string(18, 'a') + han},
      {std::string(18, 'a') + emoji + ".bmp", std::string(18, 'a')},
      {han + han + han + han + han + han + han + han, han + han + han + han + han + han + han},
      {emoji + emoji + emoji + emoji + emoji + emoji, emoji + emoji + emoji + emoji + emoji},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(AppendFileNameToLabel(slot, k.name), slot + k.kept + "...") << k.name;
  }
  // A name that fits is appended whole, multi-byte characters and all.
  EXPECT_EQ(AppendFileNameToLabel(slot, han + "logo.bmp"), slot + han + "logo.bmp");
}

}  // namespace
}  // namespace quillmark
