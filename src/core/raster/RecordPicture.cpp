#include "raster/RecordPicture.h"

#include "format/NvFormat.h"

namespace quillmark {

std::optional<RecordPicture> PictureOfRecord(std::span<const std::uint8_t> record) {
  if (record.size() < kNvRecordHeaderSize) return std::nullopt;
  const auto [x, y] = ReadNvRecordHeader(record.data());
  if (!IsValidNvImageSize(x, y) || record.size() != NvRecordSize(x, y)) return std::nullopt;
  RecordPicture picture;
  picture.width = 8 * x;
  picture.height = 8 * y;
  picture.stride = static_cast<std::size_t>(x);
  picture.bits.assign(picture.stride * static_cast<std::size_t>(picture.height), 0);
  const std::uint8_t* raster = record.data() + kNvRecordHeaderSize;
  for (int column = 0; column < picture.width; ++column) {
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (column % 8));
    std::uint8_t* cell = picture.bits.data() + column / 8;
    for (int group = 0; group < y; ++group) {
      const std::uint8_t byte = *raster++;
      if (byte == 0) continue;
      for (int k = 0; k < 8; ++k)
        if ((byte & (0x80u >> k)) != 0)
          cell[static_cast<std::size_t>(8 * group + k) * picture.stride] |= mask;
    }
  }
  return picture;
}

}  // namespace quillmark
