#pragma once

// Reading and replacing files so that a failure loses nothing. A new version of a file is
// written to a temporary file in the same folder, synced and closed with every result
// checked, and only then renamed over the old one; on any failure the temporary file is
// removed and the old file stays exactly as it was.
//
// Paths are UTF-8. Nothing here throws; every failure comes back as a FileError naming the
// step, the system's own error and the file concerned. The replacement takes the existing
// file's permission bits and, where the system lets the caller give them, its owner and
// group (FileInfo).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "files/FileIo.h"

namespace quillmark {

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

// The file a path finally names: symbolic links are followed, so that a replacement goes
// where the link points and the link itself stays. A path that is no link comes back
// unchanged, as does one whose links cannot be read (the opening then reports why).
std::string ResolveLinks(const std::string& path);

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
