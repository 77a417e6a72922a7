#include <cstdio>
#include <iostream>

#include "cli/Cli.h"
#include "cli/Platform.h"

int main(int argc, char** argv) {
  using namespace quillmark::cli;
  Io io{std::cout, std::cerr, std::cin, IsTerminal(stdin), IsTerminal(stderr)};
  return RunCli(Utf8Arguments(argc, argv), io);
}
