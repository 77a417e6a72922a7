#pragma once

// What went wrong with a picture, in plain words, for the lines under "Read Error". A
// send's failures are told by the core's DescribeSendReport (port/PortTransport.h).

#include <iosfwd>
#include <string>

#include "raster/PictureError.h"
#include "text/Messages.h"

namespace quillmark::cli {

// The program's message ("Write Error", "Communication Finish"...) on a line of its own,
// then what happened in plain words.
void PrintMessage(std::ostream& out, UserMessage message, const std::string& details);

// A picture that gave no image: "slot 3: logo.gif: a GIF, TIFF or WebP picture ..." (without the
// slot when `slot` is 0). `systemError` is the system's error when the file could not be opened.
std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 int systemError);

}  // namespace quillmark::cli
