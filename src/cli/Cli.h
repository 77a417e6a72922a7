#pragma once

#include <string>
#include <vector>

#include "cli/Jobs.h"

namespace quillmark::cli {

// Runs quillmark-cli with `args` (the program's name first, UTF-8) and returns its exit
// status: 0 done, 1 the job failed, 2 the command line was wrong (or names something this
// build cannot do). --help and --version print to io.out and return 0.
int RunCli(const std::vector<std::string>& args, Io& io);

}  // namespace quillmark::cli
