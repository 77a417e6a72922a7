// The third-party BMP Suite corpus (../shared/testdata/bmpsuite): good files decode to the
// right colours, bad ones are refused or decoded the same way every time, none crashes.
// Many files show the same 127 x 64 picture in different encodings, so they are checked
// against each other.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "BmpTestFiles.h"
#include "raster/NvImage.h"

namespace quillmark::test {
namespace {

#define REQUIRE_CORPUS(dir)                        \
  const std::filesystem::path dir = BmpSuiteDir(); \
  if (dir.empty())                                 \
  GTEST_SKIP() << "BMP Suite corpus not found at " QUILLMARK_TESTDATA_DIR "/bmpsuite"

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The largest difference of any channel of any pixel in the first's area.
int MaxChannelDifference(const Decoded& a, const Decoded& b) {
  int worst = 0;
  for (std::int32_t r = 0; r < a.height; ++r)
    for (std::int32_t c = 0; c < a.width; ++c)
      for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a.at(c, r) >> shift) & 0xFFu) -
                                         static_cast<int>((b.at(c, r) >> shift) & 0xFFu)));
  return worst;
}

// A conversion run twice gives the same outcome, byte for byte.
void ExpectRepeatable(const std::filesystem::path& path, std::int32_t widthBytes) {
  const auto first = ConvertPictureFile(path, widthBytes),
             second = ConvertPictureFile(path, widthBytes);
  EXPECT_EQ(first.error, second.error) << path;
  ASSERT_EQ(first.record.has_value(), second.record.has_value()) << path;
  if (first.record) {
    EXPECT_TRUE(std::equal(first.record->bytes().begin(), first.record->bytes().end(),
                           second.record->bytes().begin(), second.record->bytes().end()))
        << path;
  }
}

TEST(Corpus, GoodFilesAgreeWithEachOther) {
  REQUIRE_CORPUS(suite);
  struct Group {
    std::string reference;
    std::vector<std::string> members;
    int tolerance;  // the largest channel difference the members' encoding allows
  };
  const Group groups[] = {
      {"g/pal8.bmp",
       {"g/pal8-0.bmp", "g/pal8os2.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp",
        "g/pal8v5.bmp", "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp", "q/pal8os2sp.bmp",
        "q/pal8os2v2-16.bmp", "q/pal8os2v2-40sz.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2.bmp",
        "q/pal8oversizepal.bmp",
        // The row-padding cases are the top-left of the same picture.
        "g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp"},
       0},
      {"g/rgb24.bmp",
       {"g/rgb24pal.bmp", "g/rgb32.bmp", "g/rgb32bf.bmp", "g/rgb32bfdef.bmp", "q/rgb24largepal.bmp",
        "q/rgb24lprof.bmp", "q/rgb24prof.bmp", "q/rgb32-xbgr.bmp", "q/rgb32fakealpha.bmp",
        "q/rgb32h52.bmp"},
       0},
      {"g/pal4.bmp", {"g/pal4rle.bmp"}, 0},
      {"g/pal1.bmp", {"g/pal1wb.bmp"}, 0},
      {"g/rgb16.bmp", {"g/rgb16bfdef.bmp", "q/rgb16faketrns.bmp", "q/rgba16-5551.bmp"}, 0},
      {"g/rgb16-565.bmp", {"g/rgb16-565pal.bmp"}, 0},
      // Fewer bits per channel than the 24-bit original: round(v * 255 / max) stays within
      // half a step of it, 4 for 5 bits, 2 for 6, 1 for 7 and more, 8 for 4.
      {"g/rgb24.bmp", {"g/rgb16.bmp", "g/rgb16-565.bmp"}, 4},
      {"g/rgb24.bmp", {"q/rgb32-111110.bmp", "q/rgb32-7187.bmp"}, 1},
      {"q/rgba32-1.bmp",
       {"q/rgba32-2.bmp", "q/rgba32-1010102.bmp", "q/rgba32-81284.bmp", "q/rgba32abf.bmp",
        "q/rgba32h56.bmp"},
       1},
      {"q/rgba32-1.bmp", {"q/rgba32-61754.bmp"}, 4},
      {"q/rgba32-1.bmp", {"q/rgba16-4444.bmp"}, 8},
  };
  for (const Group& group : groups) {
    const auto reference = DecodeFile(suite / group.reference);
    ASSERT_TRUE(reference) << group.reference;
    ASSERT_EQ(reference->width * reference->height, 127 * 64);
    for (const std::string& member : group.members) {
      PictureError error = PictureError::kNone;
      const auto decoded = DecodeFile(suite / member, &error);
      ASSERT_TRUE(decoded) << member << ": " << PictureErrorText(error);
      ASSERT_LE(decoded->width * decoded->height, 127 * 64) << member;
      EXPECT_LE(MaxChannelDifference(*decoded, *reference), group.tolerance) << member;
    }
  }
}

TEST(Corpus, EveryGoodFileConverts) {
  REQUIRE_CORPUS(suite);
  for (const auto& path : FilesIn(suite / "g")) {
    const auto decoded = DecodeFile(path);
    ASSERT_TRUE(decoded) << path;
    const auto result = ConvertPictureFile(path, 72);
    ASSERT_TRUE(result.record) << path << ": " << PictureErrorText(result.error);
    const std::int32_t x = (decoded->width + 7) / 8, y = (decoded->height + 7) / 8;
    ASSERT_EQ(result.record->size(), static_cast<std::uint32_t>(8 * x * y + 4)) << path;
    int wrong = 0;
    for (std::int32_t c = 0; c < decoded->width; ++c)
      for (std::int32_t r = 0; r < decoded->height; ++r)
        wrong += DotAt(result.record->bytes(), c, r) != (IsDarkPixel(decoded->at(c, r)) == 1);
    EXPECT_EQ(wrong, 0) << path;
  }
}

// RLE files that skip pixels: every pixel is the full picture's or palette colour 0.
TEST(Corpus, RleSkipsShowPaletteColourZero) {
  REQUIRE_CORPUS(suite);
  for (const auto& [name, full] : {std::pair{"q/pal8rletrns.bmp", "g/pal8.bmp"},
                                   {"q/pal8rlecut.bmp", "g/pal8.bmp"},
                                   {"q/pal4rletrns.bmp", "g/pal4.bmp"},
                                   {"q/pal4rlecut.bmp", "g/pal4.bmp"}}) {
    std::ifstream in(suite / name, std::ios::binary);
    const Bytes raw{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(raw.size(), 58u);
    const Colour colour0 = MakeColour(raw[56], raw[55], raw[54]);  // the first palette entry
    const auto decoded = DecodeFile(suite / name), reference = DecodeFile(suite / full);
    ASSERT_TRUE(decoded && reference) << name;
    int skipped = 0, wrong = 0;
    for (std::size_t i = 0; i < decoded->pixels.size(); ++i) {
      if (decoded->pixels[i] == reference->pixels[i]) continue;
      ++(decoded->pixels[i] == colour0 ? skipped : wrong);
    }
    EXPECT_EQ(wrong, 0) << name;
    EXPECT_GT(skipped, 0) << name;
  }
}

TEST(Corpus, BadFilesAreRefusedOrDecodedTheSameEveryTime) {
  REQUIRE_CORPUS(suite);
  const std::set<std::string> mustRefuse = {
      "badbitcount.bmp", "badheadersize.bmp", "badpalettesize.bmp", "badplanes.bmp",
      "badrle.bmp",      "badrle4.bmp",       "badrle4bis.bmp",     "badrle4ter.bmp",
      "badrlebis.bmp",   "badrleter.bmp",     "badwidth.bmp",       "reallybig.bmp",
      "rgb16-880.bmp",   "rletopdown.bmp",    "shortfile.bmp"};
  for (const auto& path : FilesIn(suite / "b")) {
    ExpectRepeatable(path, 0);
    if (mustRefuse.count(path.filename().string())) {
      const auto result = ConvertPictureFile(path, 0);
      EXPECT_FALSE(result.record) << path;
      EXPECT_NE(result.error, PictureError::kNone) << path;
    }
  }
  // Wrong density or size fields do not touch the pixels: the picture is pal1's.
  const auto pal1 = DecodeFile(suite / "g/pal1.bmp");
  for (const char* name : {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp"}) {
    const auto decoded = DecodeFile(suite / "b" / name);
    ASSERT_TRUE(decoded && pal1) << name;
    EXPECT_EQ(decoded->pixels, pal1->pixels) << name;
  }
}

TEST(Corpus, QuestionableFilesNeverCrash) {
  REQUIRE_CORPUS(suite);
  const std::set<std::string> mustRefuse = {"pal1huffmsb.bmp", "rgb24jpeg.bmp", "rgb24png.bmp",
                                            "rgb24rle24.bmp", "rgba64.bmp"};
  for (const auto& path : FilesIn(suite / "q")) {
    for (std::int32_t widthBytes : {0, 1, 72})
      ExpectRepeatable(path, widthBytes);
    if (mustRefuse.count(path.filename().string())) {
      EXPECT_FALSE(ConvertPictureFile(path, 0).record) << path;
    }
  }
}

}  // namespace
}  // namespace quillmark::test
