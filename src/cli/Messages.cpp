#include "cli/Messages.h"

#include <ostream>

namespace quillmark::cli {

void PrintMessage(std::ostream& out, UserMessage message, const std::string& details) {
  out << TextOf(message).text << '\n' << details << '\n';
}

std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 int systemError) {
  return (slot > 0 ? "slot " + std::to_string(slot) + ": " : std::string()) + path + ": " +
         DescribePictureFailure(error, systemError);
}

}  // namespace quillmark::cli
