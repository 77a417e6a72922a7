// libFuzzer: any bytes through the PNG reader and the conversion, with options.

#include "FuzzPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzPictureConversion(data, size);
}
