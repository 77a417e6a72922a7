#pragma once

#include <span>
#include <string>

#include "commands/SafeFile.h"
#include "virtualprinter/FileIo.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark {

// Feeds the file at `path` to `printer` in pieces as it is read, so that a FIFO or a
// device works as well as a plain file and a file of any length takes a fixed amount of
// memory. The end of the file does not end the job. kNone, kNotFound or kUnreadable; on a
// read error the bytes read before it have been fed.
ReadFileError FeedFile(VirtualPrinter& printer, const std::string& path) noexcept;

enum class RenderError {
  kNone,
  kInputNotFound,
  kInputUnreadable,
  kOutputFailed,  // the PNG could not be made or written: see `output`
};

struct RenderResult {
  RenderError error = RenderError::kNone;
  std::string path;  // the input or output the error is about
  FileError output;  // with kOutputFailed, the step that failed and the system's error
};

// What `quillmark-cli render` does: feeds the files, in order, to `printer` as one stream
// (as if sent to the printer back to back), ends the job and writes the paper printed in it
// to `pngPath` as a PNG, one pixel a dot. The printer's NV memory and log show the result
// afterwards; load an NV store into it first to print images defined in an earlier run.
// Nothing is written when an input cannot be read.
RenderResult RenderStreamsToPng(VirtualPrinter& printer, std::span<const std::string> inputs,
                                const std::string& pngPath) noexcept;

}  // namespace quillmark
