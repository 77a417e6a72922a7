#pragma once

// For the end-to-end tests: the check that a record the tool wrote shows exactly the dark
// pixels of its picture. The pictures and the print-test sheet check are shared with the
// GUI's tests (support/PrintTestSheet.h).

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CliProcess.h"
#include "raster/BmpTestFiles.h"
#include "support/PrintTestSheet.h"
#include "virtualprinter/PngReader.h"

namespace quillmark::testing {

// Whether dot (c, r) of an NV image record is set, read from its column-major bytes.
inline bool RecordDot(const std::vector<std::uint8_t>& record, int c, int r) {
  return test::DotAt(record, c, r);
}

// The record shows the picture's dark pixels in its top-left `cropWidth` columns (and at
// most 2304 rows) and nothing anywhere else.
inline void ExpectRecordShowsPicture(const std::vector<std::uint8_t>& record,
                                     const TestPicture& picture, int cropWidth) {
  ASSERT_GE(record.size(), 4u);
  const int w = std::min(picture.width, cropWidth);
  const int h = std::min(picture.height, 2304);
  const int x = (w + 7) / 8;
  const int y = (h + 7) / 8;
  ASSERT_EQ(record[0] + 256 * record[1], x);
  ASSERT_EQ(record[2] + 256 * record[3], y);
  ASSERT_EQ(record.size(), 8u * static_cast<std::size_t>(x * y) + 4);
  for (int c = 0; c < 8 * x; ++c)
    for (int r = 0; r < 8 * y; ++r)
      ASSERT_EQ(RecordDot(record, c, r), c < w && r < h && picture.dark(c, r))
          << "dot " << c << ", " << r;
}

inline std::optional<test::DecodedPng> ReadPng(const std::string& path) {
  std::string error;
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  std::optional<test::DecodedPng> png = test::ReadStoredPng(bytes, error);
  EXPECT_TRUE(png) << path << ": " << error;
  return png;
}

}  // namespace quillmark::testing
