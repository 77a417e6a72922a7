#pragma once

// The jobs of quillmark-cli, one function each, over options already checked by the
// command-line parser (Cli.cpp). Each returns the exit status: 0 done, 1 failed. What
// happened goes to the streams of `Io`: failures as the system's own message ("Write
// Error", "Read Error", "Communication Error") and a line in plain words under it.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/Options.h"

namespace quillmark::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Io {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool stdinTerminal = false;
  bool stderrTerminal = false;
};

// A picture or a stream named "-" is read from standard input, at most this much; an
// output named "-" goes to standard output (Platform.h).
inline constexpr std::uint64_t kMaxPipedPictureBytes = std::uint64_t{256} << 20;
// Standard input that sends nothing for this long is given up.
inline constexpr int kPipedInputIdleMs = 30000;

struct ConvertJob {
  std::string picture;
  std::string output;
  std::string preview;  // empty: none
  ModelChoice model;
  ConversionOptions options;
  bool quiet = false;
};

// The slots, the target printer and the command mode: what builds a definition stream.
struct SlotsJob {
  SlotPaths slots;
  ModelChoice model;
  ConversionOptions options;  // for every slot's picture
  std::int32_t brixMode = 1;
  bool quiet = false;
};

struct ExportJob {
  SlotsJob slots;
  std::string output;
};

struct PatchJob {
  SlotsJob slots;
  std::string image;
};

struct SendJob {
  SlotsJob slots;  // print-test uses only brixMode and quiet
  PortTarget port;
  PortSettings serial;               // the serial line settings (list indices)
  std::optional<unsigned> retries;   // --retries; unset: ask when stdin is a terminal
  std::int64_t retryDelayMs = 2000;  // --retry-delay: the wait before each retry
};

// print-test -o FILE: the print-test stream saved as a file instead of sent.
struct PrintTestFileJob {
  std::string output;
  std::int32_t brixMode = 1;
  bool quiet = false;
};

struct RenderJob {
  std::vector<std::string> inputs;
  std::string output;
  ModelChoice model;
  std::string nvStore;  // empty: none
  bool quiet = false;
};

struct VirtualPrinterJob {
  std::string fifo;    // --fifo, or
  std::string listen;  // --listen tcp:HOST:PORT
  std::string outputDir;
  ModelChoice model;
  std::string nvStore;
  unsigned jobs = 0;                 // stop after this many jobs; 0: until SIGINT or SIGTERM
  unsigned idleTimeoutSeconds = 30;  // a silent connection is closed after it
  std::uint64_t maxDiskBytes = std::uint64_t{1} << 30;  // the sheets in outputDir, at most
};

int RunConvert(const ConvertJob& job, Io& io);
int RunExport(const ExportJob& job, Io& io);
int RunPatch(const PatchJob& job, Io& io);
int RunDownload(const SendJob& job, Io& io);
int RunPrintTest(const SendJob& job, Io& io);
int RunPrintTestToFile(const PrintTestFileJob& job, Io& io);
// The port list as text, or as JSON for programs.
int RunPorts(Io& io, bool json);
int RunRender(const RenderJob& job, Io& io);
// POSIX systems only; elsewhere it says so and returns kExitUsage.
int RunVirtualPrinter(const VirtualPrinterJob& job, Io& io);

}  // namespace quillmark::cli
