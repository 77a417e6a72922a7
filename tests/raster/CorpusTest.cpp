// The third-party BMP Suite corpus (../shared/testdata/bmpsuite): good files must decode to
// the right colours, bad ones must be refused or decoded the same way every time, and
// none may crash. Many files show the same 127 x 64 picture in different encodings, so
// they are checked against each other.

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

#define REQUIRE_CORPUS(dir)                                               \
  const std::filesystem::path dir = BmpSuiteDir();                        \
  if (dir.empty())                                                        \
  GTEST_SKIP() << "BMP Suite corpus not found at " QUILLMARK_TESTDATA_DIR \
                  "/bmpsuite; "                                           \
                  "these checks need it"

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The largest difference of any channel of any pixel; -1 when the sizes differ.
int MaxChannelDifference(const Decoded& a, const Decoded& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i)
    for (int shift = 0; shift < 24; shift += 8)
      worst = std::max(worst, std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFFu) -
                                       static_cast<int>((b.pixels[i] >> shift) & 0xFFu)));
  return worst;
}

TEST(Corpus, GoodFilesAgreeWithEachOther) {
  REQUIRE_CORPUS(suite);
  struct Group {
    std::string reference;
    std::vector<std::string> members;
    int tolerance;  // largest channel difference the members' encoding allows
  };
  const Group groups[] = {
      {"g/pal8.bmp",
       {"g/pal8-0.bmp", "g/pal8os2.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp", "g/pal8v4.bmp",
        "g/pal8v5.bmp", "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp", "q/pal8os2sp.bmp",
        "q/pal8os2v2-16.bmp", "q/pal8os2v2-40sz.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2v2.bmp",
        "q/pal8oversizepal.bmp"},
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
      // Fewer bits per channel than the 24-bit original: round(v * 255 / max) is within
      // half a step of it, 4 for 5 bits, 2 for 6, 1 for 7 and more.
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
    ASSERT_EQ(reference->width, 127);
    ASSERT_EQ(reference->height, 64);
    for (const std::string& member : group.members) {
      PictureError error = PictureError::kNone;
      const auto decoded = DecodeFile(suite / member, &error);
      ASSERT_TRUE(decoded) << member << ": " << PictureErrorText(error);
      const int difference = MaxChannelDifference(*reference, *decoded);
      EXPECT_GE(difference, 0) << member << " has another size";
      EXPECT_LE(difference, group.tolerance) << member << " against " << group.reference;
    }
  }
}

TEST(Corpus, GoodFilesOfTheirOwn) {
  REQUIRE_CORPUS(suite);
  const auto pal8 = DecodeFile(suite / "g/pal8.bmp");
  ASSERT_TRUE(pal8);
  // The row-padding cases are the top-left of the same picture.
  for (const char* name : {"g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp"}) {
    const auto decoded = DecodeFile(suite / name);
    ASSERT_TRUE(decoded) << name;
    int wrong = 0;
    for (std::int32_t r = 0; r < decoded->height; ++r)
      for (std::int32_t c = 0; c < decoded->width; ++c)
        wrong += decoded->at(c, r) != pal8->at(c, r);
    EXPECT_EQ(wrong, 0) << name;
  }
  // Grey palettes stay grey; two-colour pictures keep two colours.
  for (const char* name : {"g/pal8gs.bmp", "g/pal4gs.bmp"}) {
    const auto decoded = DecodeFile(suite / name);
    ASSERT_TRUE(decoded) << name;
    for (Colour c : decoded->pixels)
      ASSERT_TRUE((c & 0xFF) == ((c >> 8) & 0xFF) && (c & 0xFF) == ((c >> 16) & 0xFF)) << name;
  }
  for (const char* name : {"g/pal1.bmp", "g/pal1bg.bmp"}) {
    const auto decoded = DecodeFile(suite / name);
    ASSERT_TRUE(decoded) << name;
    EXPECT_EQ(std::set<Colour>(decoded->pixels.begin(), decoded->pixels.end()).size(), 2u);
  }
  const auto nonsquare = DecodeFile(suite / "g/pal8nonsquare.bmp");
  ASSERT_TRUE(nonsquare);
  EXPECT_EQ(nonsquare->height, 32);
}

TEST(Corpus, EveryGoodFileConverts) {
  REQUIRE_CORPUS(suite);
  for (const auto& path : FilesIn(suite / "g")) {
    const auto decoded = DecodeFile(path);
    ASSERT_TRUE(decoded) << path;
    for (std::int32_t widthBytes : {0, 72}) {
      const auto result = ConvertPictureFile(path, widthBytes);
      ASSERT_TRUE(result.record) << path << ": " << PictureErrorText(result.error);
      const std::int32_t x = (decoded->width + 7) / 8, y = (decoded->height + 7) / 8;
      ASSERT_EQ(result.record->size(), static_cast<std::uint32_t>(8 * x * y + 4)) << path;
      // Each dot follows the dark test of the decoded pixel.
      const std::uint8_t* data = result.record->data();
      int wrong = 0;
      for (std::int32_t c = 0; c < decoded->width; ++c)
        for (std::int32_t r = 0; r < decoded->height; ++r) {
          const bool bit = (data[4 + c * y + r / 8] >> (7 - r % 8)) & 1;
          wrong += bit != (IsDarkPixel(decoded->at(c, r)) == 1);
        }
      EXPECT_EQ(wrong, 0) << path;
    }
  }
}

// RLE files that skip pixels: every pixel is either the full picture's or palette colour 0.
TEST(Corpus, RleSkipsShowPaletteColourZero) {
  REQUIRE_CORPUS(suite);
  const std::pair<const char*, const char*> files[] = {{"q/pal8rletrns.bmp", "g/pal8.bmp"},
                                                       {"q/pal8rlecut.bmp", "g/pal8.bmp"},
                                                       {"q/pal4rletrns.bmp", "g/pal4.bmp"},
                                                       {"q/pal4rlecut.bmp", "g/pal4.bmp"}};
  for (const auto& [name, full] : files) {
    const Bytes raw = ReadAll(suite / name);
    ASSERT_GT(raw.size(), 58u);
    const Colour colour0 = MakeColour(raw[56], raw[55], raw[54]);  // first palette entry
    const auto decoded = DecodeFile(suite / name);
    const auto reference = DecodeFile(suite / full);
    ASSERT_TRUE(decoded && reference) << name;
    int skipped = 0, wrong = 0;
    for (std::size_t i = 0; i < decoded->pixels.size(); ++i) {
      if (decoded->pixels[i] == reference->pixels[i]) continue;
      if (decoded->pixels[i] == colour0) {
        ++skipped;
      } else {
        ++wrong;
      }
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
  const auto pal1 = DecodeFile(suite / "g/pal1.bmp");
  ASSERT_TRUE(pal1);
  for (const auto& path : FilesIn(suite / "b")) {
    const std::string name = path.filename().string();
    const auto first = ConvertPictureFile(path, 0);
    const auto second = ConvertPictureFile(path, 0);
    EXPECT_EQ(first.error, second.error) << name;
    EXPECT_EQ(first.record.has_value(), second.record.has_value()) << name;
    if (first.record && second.record) {
      EXPECT_TRUE(std::equal(first.record->bytes().begin(), first.record->bytes().end(),
                             second.record->bytes().begin(), second.record->bytes().end()))
          << name;
    }
    if (mustRefuse.count(name)) {
      EXPECT_FALSE(first.record) << name << " was accepted";
      EXPECT_NE(first.error, PictureError::kNone) << name;
    }
  }
  // Wrong density or size fields do not touch the pixels: the picture is pal1's.
  for (const char* name : {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp", "badfilesize.bmp"}) {
    const auto decoded = DecodeFile(suite / "b" / name);
    ASSERT_TRUE(decoded) << name;
    EXPECT_EQ(decoded->pixels, pal1->pixels) << name;
  }
}

// Indices past a 101-entry palette read as black, never as memory beyond the palette.
TEST(Corpus, IndicesBeyondThePaletteAreBlack) {
  REQUIRE_CORPUS(suite);
  const auto path = suite / "b/pal8badindex.bmp";
  const Bytes raw = ReadAll(path);
  ASSERT_GT(raw.size(), 54u + 101 * 4);
  const std::uint32_t offBits = raw[10] | (raw[11] << 8) | (raw[12] << 16) | (raw[13] << 24);
  const auto decoded = DecodeFile(path);
  ASSERT_TRUE(decoded);
  const std::size_t stride = (static_cast<std::size_t>(decoded->width) + 3) / 4 * 4;
  int beyond = 0;
  for (std::int32_t r = 0; r < decoded->height; ++r) {
    for (std::int32_t c = 0; c < decoded->width; ++c) {
      const std::size_t stored = static_cast<std::size_t>(decoded->height - 1 - r);
      const std::uint8_t index = raw[offBits + stored * stride + static_cast<std::size_t>(c)];
      const std::size_t entry = 54 + std::size_t{index} * 4;
      const Colour expected =
          index < 101 ? MakeColour(raw[entry + 2], raw[entry + 1], raw[entry]) : 0;
      beyond += index >= 101;
      ASSERT_EQ(decoded->at(c, r), expected) << c << "," << r;
    }
  }
  EXPECT_GT(beyond, 0);
}

TEST(Corpus, QuestionableFilesNeverCrash) {
  REQUIRE_CORPUS(suite);
  // Decoded or refused, each is handled the same way twice; those that no BMP decoder
  // should accept are refused.
  const std::set<std::string> mustRefuse = {"pal1huffmsb.bmp", "rgb24jpeg.bmp", "rgb24png.bmp",
                                            "rgb24rle24.bmp", "rgba64.bmp"};
  for (const auto& path : FilesIn(suite / "q")) {
    const std::string name = path.filename().string();
    for (std::int32_t widthBytes : {0, 1, 72}) {
      const auto first = ConvertPictureFile(path, widthBytes);
      const auto second = ConvertPictureFile(path, widthBytes);
      EXPECT_EQ(first.error, second.error) << name;
      ASSERT_EQ(first.record.has_value(), second.record.has_value()) << name;
      if (first.record) {
        EXPECT_TRUE(std::equal(first.record->bytes().begin(), first.record->bytes().end(),
                               second.record->bytes().begin(), second.record->bytes().end()));
      }
      if (mustRefuse.count(name)) {
        EXPECT_FALSE(first.record) << name;
      }
    }
  }
}

}  // namespace
}  // namespace quillmark::test
