// libFuzzer: any bytes through a picture reader and the conversion; only refusals allowed.
// The length of the input picks the conversion options, so every path of them is fuzzed.

#include <cstddef>
#include <cstdint>

#include "raster/ByteSource.h"
#include "raster/PictureFile.h"

inline int FuzzPictureConversion(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  MemoryByteSource source({data, size});
  ConversionOptions options;
  if (size % 3 != 0) {
    options.dither = static_cast<Dither>(size % 4);
    options.fit = size % 5 == 0;
    options.invert = size % 7 == 0;
    options.rotate = static_cast<int>(size / 3 % 4) * 90;
  }
  const NvConversion result = ConvertPicture(source, size % 2 == 0 ? 72 : 0, options);
  if (result.record.has_value() == (result.error != PictureError::kNone)) __builtin_trap();
  return 0;
}
