#pragma once

// The folders the virtual printer writes into (its sheets, its NV store), on POSIX systems.
// A folder is held open by its descriptor and every file is made relative to it: nothing
// written follows a symbolic link found there, and a new sheet never replaces a file.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "files/FileHandle.h"
#include "files/SafeFile.h"

namespace quillmark::cli {

class PrinterFolder {
 public:
  // Opens the folder `path`, made first (with its parents) when `create`. Empty, with the
  // reason in `why`, when it cannot be made or opened, or is no folder.
  static std::optional<PrinterFolder> Open(const std::string& path, bool create, std::string& why);

  const std::string& path() const noexcept { return path_; }
  // `name` joined to the folder's path, for messages.
  std::string PathOf(const std::string& name) const;

  enum class Entry { kMissing, kFile, kLink, kOther };
  // What the folder holds under `name`, links not followed; a link's target in `target`.
  Entry Look(const std::string& name, std::string* target = nullptr) const;

  enum class Put { kDone, kTaken, kLink, kFailed };
  // Makes `name` with `bytes` only if nothing of that name exists: the bytes go to a new
  // temporary file, which is then linked in under `name` (or, on a file system without
  // hard links, `name` is created exclusively and written). kTaken when the name exists,
  // whatever it is; nothing is changed then.
  Put CreateNew(const std::string& name, std::span<const std::uint8_t> bytes, FileError& error);
  // Replaces `name` with `bytes`: a temporary file, synced and closed, renamed over it.
  // kLink, with nothing changed, when `name` is a symbolic link (its target is never
  // touched, even by a link planted while the file is written: the rename replaces a link,
  // not what it points to).
  Put Replace(const std::string& name, std::span<const std::uint8_t> bytes, FileError& error);

  // The highest N of the sheets job-N.png (any number of digits) in the folder, 0 if none,
  // and the bytes those that are files take.
  struct Sheets {
    std::uint64_t highest = 0;
    std::uint64_t bytes = 0;
  };
  Sheets ScanSheets() const;

 private:
  PrinterFolder(std::string path, FileHandle fd) noexcept
      : path_(std::move(path)), fd_(std::move(fd)) {}
  // A new temporary file in the folder holding `bytes`, closed; empty on failure.
  std::optional<std::string> WriteTemporary(std::span<const std::uint8_t> bytes, bool sync,
                                            FileError& error);

  std::string path_;
  FileHandle fd_;
  unsigned temporaries_ = 0;
};

// "job-0001.png" for 1; numbers of more digits are written in full.
std::string SheetName(std::uint64_t number);

}  // namespace quillmark::cli
