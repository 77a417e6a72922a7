#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "raster/BmpReader.h"
#include "raster/NvImage.h"
#include "raster/Rendition.h"
#include "support/BmpTestFiles.h"
#include "support/Bytes.h"

namespace quillmark::test {
namespace {

// The BMP Suite corpus, skipped when absent: good files convert to the dots IsDarkPixel
// rates dark, and encodings of one picture show the same colours; the files that must be
// refused are, and no file crashes the reader (the sanitizer build checks its memory use).
TEST(Corpus, GoodFilesConvertRightBadOnesAreRefused) {
  const auto suite = std::filesystem::path(QUILLMARK_TESTDATA_DIR) / "bmpsuite";
  if (!std::filesystem::is_directory(suite / "g")) GTEST_SKIP() << "no corpus at " << suite;
  // clang-format off
  const std::set<std::string> mustRefuse = {
      "badbitcount", "badheadersize", "badpalettesize", "badplanes", "badrle", "badrle4", "badrle4bis",
      "badrle4ter", "badrlebis", "badrleter", "badwidth", "reallybig", "rgb16-880", "rletopdown", "shortfile",
      "pal1huffmsb", "rgb24jpeg", "rgb24png", "rgb24rle24", "rgba64"};
  // clang-format on
  for (const char* folder : {"g", "b", "q"}) {
    for (const auto& entry : std::filesystem::directory_iterator(suite / folder)) {
      const NvConversion result = ConvertPictureFile(entry.path(), 72);
      const PictureError error = result.error;
      const Bytes record = testing::BytesOf(result.record);
      EXPECT_TRUE(error != PictureError::kNone || !mustRefuse.count(entry.path().stem().string()))
          << entry.path();
      if (folder[0] != 'g') continue;
      const auto decoded = DecodeFile(entry.path());
      ASSERT_TRUE(decoded && !record.empty()) << entry.path() << PictureErrorText(error);
      int wrong = 0;
      for (std::int32_t c = 0; c < 8 * ((decoded->width + 7) / 8); ++c)
        for (std::int32_t r = 0; r < 8 * ((decoded->height + 7) / 8); ++r)
          wrong += DotAt(record, c, r) !=
                   (c < decoded->width && r < decoded->height && IsDarkPixel(decoded->at(c, r)));
      EXPECT_EQ(wrong, 0) << entry.path();
      // Dithered, the grey levels the reader gives straight from its rows are those of its
      // colours.
      const ConversionOptions dithered{128, Dither::kFloydSteinberg, false, false, 0};
      PictureError error2 = PictureError::kNone;
      auto file = FileByteSource::Open(entry.path(), error2);
      auto bmp = BmpPicture::Open(*file, error2);
      ASSERT_TRUE(bmp);
      Decoded copy = *decoded;
      const auto fast = ConvertWithOptions(*bmp, 0, dithered),
                 slow = ConvertWithOptions(copy, 0, dithered);
      ASSERT_TRUE(fast.record && slow.record) << entry.path();
      EXPECT_TRUE(std::ranges::equal(fast.record->bytes(), slow.record->bytes())) << entry.path();
    }
  }
  // clang-format off
  const std::pair<std::string, std::vector<std::string>> groups[] = {
      {"pal8", {"pal8-0", "pal8os2", "pal8rle", "pal8topdown", "pal8v4", "pal8v5"}},
      {"rgb24", {"rgb24pal", "rgb32", "rgb32bf", "rgb32bfdef"}}, {"rgb16", {"rgb16bfdef"}},
      {"rgb16-565", {"rgb16-565pal"}}, {"pal4", {"pal4rle"}}, {"pal1", {"pal1wb"}}};
  // clang-format on
  for (const auto& [first, others] : groups) {
    const auto reference = DecodeFile(suite / "g" / (first + ".bmp"));
    for (const std::string& name : others) {
      const auto decoded = DecodeFile(suite / "g" / (name + ".bmp"));
      ASSERT_TRUE(reference && decoded) << name;
      EXPECT_TRUE(decoded->pixels == reference->pixels) << name;
    }
  }
}

}  // namespace
}  // namespace quillmark::test
