#pragma once

// The file layer every file of the program goes through: opening an existing file, reading
// it whole, in order or at an offset, and writing bytes to the end. Paths are UTF-8.
// Nothing here throws; every failure comes back as the system's own error, or as a
// FileError naming the step and the file concerned. Safe replacement is SafeFile.h's.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "files/FileHandle.h"
#include "state/ByteBlock.h"

namespace quillmark {

// The step of reading or writing that failed.
enum class FileStep {
  kNone,
  kOpenForReading,   // an existing file cannot be opened for reading
  kOpenForWriting,   // an existing file cannot be opened for writing (read-only, locked...)
  kNotRegularFile,   // the path names a folder, device or pipe, not a file
  kRead,             // reading an open file failed
  kCreateTemporary,  // no temporary file can be created in the target's folder
  kWrite,            // writing the temporary file failed (disk full, size limit...)
  kSync,             // flushing the temporary file to the disk failed
  kClose,            // closing the temporary file failed
  kReplace,          // the temporary file could not be renamed over the target
};

struct FileError {
  FileStep step = FileStep::kNone;
  std::error_code code;  // the system's error; empty for kNotRegularFile
  std::string path;      // the file or, for kCreateTemporary, the folder concerned

  explicit operator bool() const noexcept { return step != FileStep::kNone; }
};

enum class FileAccess { kRead, kWrite, kReadWrite };

// What a file is: its permission bits, owner and group where the system has them (-1:
// none), and its size.
struct FileInfo {
  unsigned mode = 0;
  long long owner = -1;
  long long group = -1;
  std::uint64_t size = 0;
};

// The system's error of the last call that failed (errno).
std::error_code LastFileError() noexcept;

#ifdef _WIN32
// `utf8` as UTF-16, for the system's wide calls.
std::wstring WidePath(const std::string& utf8);
#endif

// Opens an existing regular file without creating or truncating it. A folder, device or
// pipe is refused with kNotRegularFile (a pipe never blocks the caller). On failure the
// handle is invalid and `error` says why.
FileHandle OpenExisting(const std::string& path, FileAccess access, FileInfo& info,
                        FileError& error);

// What the open `file` is; `regular` tells a regular file from a folder, device or pipe.
std::error_code QueryFile(const FileHandle& file, FileInfo& info, bool& regular) noexcept;

// Reads until `buffer` is full or the file ends; returns the count read, or nothing on a
// read error (`error` set, step kRead).
std::optional<std::size_t> ReadUpTo(const FileHandle& file, std::span<std::uint8_t> buffer,
                                    const std::string& path, FileError& error);

// Reads the bytes from `offset` on into `buffer` until it is full or the file ends,
// without moving where ReadUpTo reads next on POSIX systems; the count read, or nothing
// with the system's error in `error`.
std::optional<std::size_t> ReadAt(const FileHandle& file, std::uint64_t offset,
                                  std::span<std::uint8_t> buffer, std::error_code& error) noexcept;

// Writes all of `bytes`; the system's error when a write fails or makes no progress.
std::error_code WriteAll(const FileHandle& file, std::span<const std::uint8_t> bytes) noexcept;

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

// Whether `code` says that a file or a folder on its path is not there.
bool IsNotFound(const std::error_code& code) noexcept;

// Reads the whole regular file at `path` when it is at most `maxSize` bytes long; a longer
// one is refused before anything is read.
ReadFileResult LoadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept;

}  // namespace quillmark
