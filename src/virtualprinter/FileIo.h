#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/ByteBlock.h"

namespace quillmark {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
// A C stdio file closed when it goes out of scope.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` with an fopen mode; null on failure (errno tells why).
FilePtr OpenFile(const std::string& path, const char* mode) noexcept;

// Writes `bytes` to `path` so that a failure loses nothing: a temporary file beside the
// target (the target's name and ".tmp"), written, flushed to the device and closed with
// every result checked, then renamed over the target in one step. On failure the
// temporary file is removed and any earlier file at `path` is left as it was.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) noexcept;

enum class ReadFileError {
  kNone,
  kNotFound,     // there is no file at the path
  kUnreadable,   // it exists but cannot be opened or read
  kTooLarge,     // longer than the caller's limit
  kOutOfMemory,  // the buffer for it cannot be had
};

struct ReadFileResult {
  std::optional<ByteBlock> bytes;  // the whole file when error is kNone
  ReadFileError error = ReadFileError::kNone;
};

// Reads the whole file at `path` when it is at most `maxSize` bytes long.
ReadFileResult ReadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept;

}  // namespace quillmark
