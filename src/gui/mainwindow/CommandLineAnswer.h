#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmark {

// What the program prints on standard output, without opening a window, when its whole
// command line (m_lpCmdLine) asks for help ("--help", "-h") or the version ("--version");
// nothing for any other command line, which opens the window, with Patch offered when it is
// the access code.
std::optional<std::string> CommandLineAnswer(std::string_view commandLine);

}  // namespace quillmark
