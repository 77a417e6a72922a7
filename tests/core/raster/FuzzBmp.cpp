// libFuzzer: any bytes through the BMP reader and the conversion; only refusals allowed.

#include <cstddef>
#include <cstdint>

#include "raster/BmpReader.h"
#include "raster/ByteSource.h"
#include "raster/NvImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  MemoryByteSource source({data, size});
  PictureError error = PictureError::kNone;
  auto picture = BmpPicture::Open(source, error);
  if (!picture) return 0;
  // The widest crop when that converts quickly, else one byte across (still every row).
  const std::int64_t rows = picture->Height() < kNvMaxRows ? picture->Height() : kNvMaxRows;
  const std::int32_t widthBytes = std::int64_t{picture->Width()} * rows <= 1 << 20 ? 0 : 1;
  const NvConversion result = ConvertPixels(*picture, widthBytes);
  if (result.record.has_value() == (result.error != PictureError::kNone)) __builtin_trap();
  return 0;
}
