#include "cli/Messages.h"

namespace quillmark::cli {

std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 int systemError) {
  return (slot > 0 ? "slot " + std::to_string(slot) + ": " : std::string()) + path + ": " +
         DescribePictureFailure(error, systemError);
}

}  // namespace quillmark::cli
