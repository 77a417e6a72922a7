#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/ByteBlock.h"

namespace quillmark {

enum class ReadFileError {
  kNone,
  kNotFound,     // there is no file at the path
  kUnreadable,   // it exists but is no regular file, or cannot be opened or read
  kTooLarge,     // longer than the caller's limit
  kOutOfMemory,  // the buffer for it cannot be had
};

struct ReadFileResult {
  std::optional<ByteBlock> bytes;  // the whole file when error is kNone
  ReadFileError error = ReadFileError::kNone;
};

// Reads the whole regular file at `path` (UTF-8) when it is at most `maxSize` bytes long;
// a longer one is refused before anything is read.
ReadFileResult LoadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept;

}  // namespace quillmark
