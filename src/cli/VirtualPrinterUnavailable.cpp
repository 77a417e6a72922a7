// quillmark-cli virtual-printer on systems without FIFOs and POSIX sockets.
#include <ostream>

#include "cli/Jobs.h"

namespace quillmark::cli {

int RunVirtualPrinter(const VirtualPrinterJob&, Io& io) {
  io.err << "virtual-printer is not available in the Windows build of quillmark-cli; render "
            "saved streams with quillmark-cli render instead\n";
  return kExitUsage;
}

}  // namespace quillmark::cli
