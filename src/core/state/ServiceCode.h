#pragma once

#include <string_view>

namespace quillmark {

// The service-mode access code: the GUI's whole command line, or quillmark-cli patch's
// --service-code, that offers the service command Patch. Compared byte for byte.
inline constexpr std::string_view kServiceAccessCode = "QXV";

}  // namespace quillmark
