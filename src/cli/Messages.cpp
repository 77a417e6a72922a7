#include "cli/Messages.h"

namespace quillmark::cli {

std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 int systemError) {
  std::string text = (slot > 0 ? "slot " + std::to_string(slot) + ": " : std::string()) + path +
                     ": " + DescribePictureFailure(error, systemError);
  if (error == PictureError::kNotBmp)
    text += "; quillmark-cli reads BMP pictures only: save the picture as BMP first";
  return text;
}

}  // namespace quillmark::cli
