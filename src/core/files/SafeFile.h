#pragma once

// Reading and replacing files so that a failure loses nothing. A new version of a file is
// written to a temporary file in the same folder, synced and closed with every result
// checked, and only then renamed over the old one; on any failure the temporary file is
// removed and the old file stays exactly as it was.
//
// Paths are UTF-8. Nothing here throws; every failure comes back as a FileError naming the
// step, the system's own error and the file concerned.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>

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

// An open file descriptor, closed when the handle goes. Closing here ignores the result:
// it is for files only read, or for ways out that have already failed. A file whose
// written bytes matter is closed through ReplacementFile::Commit, which checks it.
class FileHandle {
 public:
  FileHandle() noexcept = default;
  explicit FileHandle(int fd) noexcept : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle();

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  // Gives up ownership without closing.
  int release() noexcept;
  // Closes now (result ignored); the handle becomes invalid.
  void reset() noexcept;

 private:
  int fd_ = -1;
};

// The system calls that finish a replacement. Each returns the system's error, or an empty
// code on success; `close` releases the descriptor whatever it returns. Tests substitute
// failing ones, since a sync, close or rename that fails cannot be produced on a local
// disk without privileges.
struct FileCalls {
  std::error_code (*sync)(int fd);
  std::error_code (*close)(int fd);
  std::error_code (*replace)(const std::string& from, const std::string& to);
};
const FileCalls& SystemFileCalls() noexcept;

enum class FileAccess { kRead, kWrite, kReadWrite };

// What a replacement copies from an existing file: its permission bits and, where the
// system lets the caller give them, its owner and group (-1: none to copy).
struct FileInfo {
  unsigned mode = 0;
  long long owner = -1;
  long long group = -1;
  std::uint64_t size = 0;
};

// The file a path finally names: symbolic links are followed, so that a replacement goes
// where the link points and the link itself stays. A path that is no link comes back
// unchanged, as does one whose links cannot be read (the opening then reports why).
std::string ResolveLinks(const std::string& path);

// Opens an existing regular file without creating or truncating it. A folder, device or
// pipe is refused with kNotRegularFile (a pipe never blocks the caller). On failure the
// handle is invalid and `error` says why.
FileHandle OpenExisting(const std::string& path, FileAccess access, FileInfo& info,
                        FileError& error);

// Reads until `buffer` is full or the file ends; returns the count read, or nothing on a
// read error (`error` set, step kRead).
std::optional<std::size_t> ReadUpTo(const FileHandle& file, std::span<std::uint8_t> buffer,
                                    const std::string& path, FileError& error);

// A new version of `target`, written beside it and put in its place by Commit.
class ReplacementFile {
 public:
  // Creates the temporary file in the target's folder. Given `existing`, the file it will
  // replace, it takes that file's permission bits, and its owner and group as far as the
  // system allows; without it, those of any new file (0666 less the umask, the caller).
  static std::optional<ReplacementFile> Create(const std::string& target, const FileInfo* existing,
                                               const FileCalls& calls, FileError& error);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacementFile();

  bool Write(std::span<const std::uint8_t> bytes, FileError& error);
  // Appends the bytes of `source` from `offset` to its end (none when it is shorter).
  bool CopyFrom(const FileHandle& source, std::uint64_t offset, const std::string& sourcePath,
                FileError& error);
  // Syncs and closes the temporary file, then renames it over the target.
  bool Commit(FileError& error);

  const std::string& temporaryPath() const noexcept { return temporary_; }

 private:
  ReplacementFile(std::string target, std::string temporary, FileHandle file,
                  const FileCalls& calls) noexcept;

  std::string target_;
  std::string temporary_;
  FileHandle file_;
  const FileCalls* calls_;
  bool done_ = false;  // committed, or moved from: nothing left to remove
};

// Replaces the whole content of `path` with `bytes`, or creates the file. An existing file
// must be writable ("Write Error" for a read-only one, as writing it in place would give)
// and keeps its permission bits; a symbolic link keeps pointing at the new content.
FileError ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes,
                              const FileCalls& calls = SystemFileCalls());

}  // namespace quillmark
