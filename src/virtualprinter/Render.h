#pragma once

#include <span>
#include <string>

#include "files/FileIo.h"
#include "files/SafeFile.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark {

// The longest stream `render` reads from one file. The largest download Quillmark makes
// is 23.6 MB.
inline constexpr std::uint64_t kMaxRenderInputBytes = std::uint64_t{64} << 20;

// Feeds the regular file at `path` to `printer` in pieces as it is read, in a fixed amount
// of memory. A FIFO, a device or a folder is refused before anything is read (kUnreadable,
// `error.step` kNotRegularFile), without waiting for a writer; a file longer than `maxBytes`
// is refused before anything is fed (kTooLarge). The end of the file does not end the job.
// On a read error (kUnreadable, `error` says why) the bytes read before it have been fed.
ReadFileError FeedFile(VirtualPrinter& printer, const std::string& path, std::uint64_t maxBytes,
                       FileError& error) noexcept;

enum class RenderError {
  kNone,
  kInputNotFound,
  kInputUnreadable,  // see `input`: not a regular file, or a read that failed
  kInputTooLarge,    // longer than kMaxRenderInputBytes
  kOutputFailed,     // the PNG could not be made or written: see `output`
};

struct RenderResult {
  RenderError error = RenderError::kNone;
  std::string path;  // the input or output the error is about
  FileError input;   // with kInputUnreadable, the step that failed and the system's error
  FileError output;  // with kOutputFailed, the step that failed and the system's error
};

// Feeds the stream file at `path` to `printer` as one of `quillmark-cli render`'s inputs,
// which are fed in order as one stream (as if sent to the printer back to back): an error
// about `path` when it cannot be read, kNone otherwise.
RenderResult FeedRenderInput(VirtualPrinter& printer, const std::string& path) noexcept;

}  // namespace quillmark
