#pragma once

// What went wrong, in plain words, for the lines under "Communication Error" and
// "Read Error": the port or file concerned, the system's own error text, and the way out
// where there is one.

#include <cstdint>
#include <string>

#include "cli/Options.h"
#include "cli/Platform.h"
#include "port/PortTransport.h"
#include "raster/PictureError.h"

namespace quillmark::cli {

// "LPT1 (/dev/lp0)", "/dev/usb/lp0", "the printer at tcp:192.168.1.50:9100".
std::string DescribePort(const PortTarget& target);

// Why the port could not be opened. `error` is the system's code (errno on POSIX,
// GetLastError on Windows); `facts` what the system says about the device;
// `resolveError` why a network printer's host could not be found.
std::string DescribeOpenError(const PortTarget& target, int error, const DeviceFacts& facts,
                              const std::string& resolveError);

// How a send ended: "sent 124 bytes to /dev/usb/lp0", or why it failed. `openReason` is
// DescribeOpenError's text, used when the port could not be opened (kOpenFailed).
std::string DescribeSend(const PortTarget& target, const SendReport& report, std::uint32_t size,
                         const std::string& openReason);

// A picture that gave no image: "slot 3: logo.gif: a GIF, TIFF or WebP picture ..." (without the
// slot when `slot` is 0). `systemReason` is the system's error text when the file could not be
// opened.
std::string DescribePictureError(int slot, const std::string& path, PictureError error,
                                 const std::string& systemReason);

}  // namespace quillmark::cli
