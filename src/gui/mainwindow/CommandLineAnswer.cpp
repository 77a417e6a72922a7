#include "mainwindow/CommandLineAnswer.h"

#ifndef QUILLMARK_VERSION
#error "QUILLMARK_VERSION must be defined by the build"
#endif

namespace quillmark {

std::optional<std::string> CommandLineAnswer(std::string_view commandLine) {
  if (commandLine == "--version") return std::string("quillmark ") + QUILLMARK_VERSION + "\n";
  if (commandLine != "--help" && commandLine != "-h") return std::nullopt;
  return "Usage: quillmark [CODE]\n"
         "Puts logos into the NV memory of thermal receipt printers: the Quillmark window.\n"
         "\n"
         "  CODE       the service access code, as the whole command line: offers Patch\n"
         "  --help     print this help and exit\n"
         "  --version  print the version and exit\n"
         "\n"
         "The same jobs without a window: quillmark-cli --help. The manual: man quillmark.\n";
}

}  // namespace quillmark
