#pragma once

#include <memory>

#include "port/PortApi.h"

namespace quillmark {

// The port backend of the running system with its standard device names: on POSIX
// systems "LPT1"-"LPT4" as /dev/lp0-/dev/lp3 and "COM1"-"COM4" as /dev/ttyS0-/dev/ttyS3,
// on Windows the devices of those names.
std::unique_ptr<PortApi> MakeSystemPortApi();

}  // namespace quillmark
