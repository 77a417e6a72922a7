#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "PngReader.h"
#include "virtualprinter/Checksums.h"
#include "virtualprinter/PngWriter.h"

namespace quillmark {
namespace {

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Checksums, MatchPublishedCheckValuesAndContinueAcrossPieces) {
  EXPECT_EQ(Crc32(AsBytes("123456789")), 0xCBF43926U);
  EXPECT_EQ(Adler32(AsBytes("Wikipedia")), 0x11E60398U);

  // Long enough for several of Adler-32's deferred-modulo runs, all bytes 0xFF (the worst
  // case for overflow), split at awkward places.
  std::vector<std::uint8_t> bytes(20000, 0xFF);
  for (std::size_t i = 0; i < bytes.size(); i += 7)
    bytes[i] = static_cast<std::uint8_t>(i);
  const std::span<const std::uint8_t> all(bytes);
  EXPECT_EQ(Adler32(all), test::SlowAdler32(all));
  EXPECT_EQ(Crc32(all), test::SlowCrc32(all));
  for (std::size_t split :
       {std::size_t{0}, std::size_t{1}, std::size_t{5552}, std::size_t{19999}}) {
    EXPECT_EQ(Adler32(all.subspan(split), Adler32(all.first(split))), Adler32(all)) << split;
    EXPECT_EQ(Crc32(all.subspan(split), Crc32(all.first(split))), Crc32(all)) << split;
  }
}

// A picture with random dots and random garbage in the spare bits right of the width,
// which must come out white.
struct Picture {
  int width, height;
  std::size_t stride;
  std::vector<std::uint8_t> bits;
  MonoImageView View() const { return {width, height, stride, bits.data()}; }
};

Picture RandomPicture(int width, int height, unsigned seed) {
  Picture p{width, height, (static_cast<std::size_t>(width) + 7) / 8 + 1, {}};  // padded rows
  std::mt19937 random(seed);
  p.bits.resize(p.stride * static_cast<std::size_t>(height));
  for (auto& byte : p.bits)
    byte = static_cast<std::uint8_t>(random());
  return p;
}

TEST(PngWriter, DecodesBackToTheSameDots) {
  // Sizes with partial last bytes, one row, and pictures whose image data spans several
  // 65535-byte stored blocks with block ends falling inside rows.
  const std::pair<int, int> sizes[] = {{1, 1},     {7, 3},     {8, 1},    {9, 2},
                                       {576, 300}, {832, 700}, {13, 9000}};
  for (const auto& [width, height] : sizes) {
    const Picture picture = RandomPicture(width, height, static_cast<unsigned>(width * height));
    const auto png = EncodePng(picture.View());
    ASSERT_TRUE(png);
    std::string error;
    const auto decoded = test::ReadStoredPng(png->bytes(), error);
    ASSERT_TRUE(decoded) << width << "x" << height << ": " << error;
    ASSERT_EQ(decoded->width, width);
    ASSERT_EQ(decoded->height, height);
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        mismatches += decoded->Dot(x, y) != picture.View().Dot(x, y);
    EXPECT_EQ(mismatches, 0) << width << "x" << height;
  }
}

TEST(PngWriter, PictureWithoutRowsBecomesOneWhiteRow) {
  const auto png = EncodePng(MonoImageView{576, 0, 72, nullptr});
  ASSERT_TRUE(png);
  std::string error;
  const auto decoded = test::ReadStoredPng(png->bytes(), error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->height, 1);
  EXPECT_EQ(std::count(decoded->black.begin(), decoded->black.end(), true), 0);
}

class PngFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("png_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(PngFileTest, ZlibOfThePythonRuntimeAcceptsTheStream) {
  // An independent inflater, where the machine has one; the self-contained reader above is
  // the check that always runs.
  if (std::system("python3 -c 'import zlib' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3 with zlib is not available";
  const Picture picture = RandomPicture(100, 1500, 7);
  const std::string path = (dir_ / "p.png").string();
  ASSERT_EQ(WritePngFile(picture.View(), path).step, FileStep::kNone);
  const std::string script =
      "import struct,sys,zlib\n"
      "d=open(sys.argv[1],'rb').read();p=8;z=b''\n"
      "while p<len(d):\n"
      " n,t=struct.unpack('>I4s',d[p:p+8])\n"
      " if t==b'IDAT': z+=d[p+8:p+8+n]\n"
      " p+=12+n\n"
      "r=zlib.decompress(z)\n"
      "sys.exit(0 if len(r)==1500*14 and all(r[i*14]==0 for i in range(1500)) else 1)\n";
  const std::string scriptPath = (dir_ / "check.py").string();
  std::ofstream(scriptPath) << script;
  EXPECT_EQ(std::system(("python3 " + scriptPath + " " + path).c_str()), 0);
}

TEST_F(PngFileTest, WritesTheWholePngOrReportsTheFailedStep) {
  const Picture picture = RandomPicture(16, 16, 1);
  const std::string path = (dir_ / "sheet.png").string();
  std::ofstream(path) << "previous";
  ASSERT_EQ(WritePngFile(picture.View(), path).step, FileStep::kNone);
  EXPECT_EQ(std::filesystem::file_size(path), EncodePng(picture.View())->size());
  // Nothing but the picture is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);

  EXPECT_EQ(WritePngFile(picture.View(), (dir_ / "missing" / "x.png").string()).step,
            FileStep::kCreateTemporary);
}

}  // namespace
}  // namespace quillmark
