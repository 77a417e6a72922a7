#include "cli/PrinterFolder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace quillmark::cli {
namespace {

// The number N of "job-N.png", when the name is one; numbers too long to count with are
// left out (a sheet is never written over them anyway).
std::optional<std::uint64_t> SheetNumber(const char* name) {
  const std::string text(name);
  if (text.size() < 9 || text.compare(0, 4, "job-") != 0 ||
      text.compare(text.size() - 4, 4, ".png") != 0)
    return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = 4; i + 4 < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (UINT64_MAX - 9) / 10 / 2) return std::nullopt;  // room left to count on
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::string SheetName(std::uint64_t number) {
  char name[40];
  std::snprintf(name, sizeof name, "job-%04llu.png", static_cast<unsigned long long>(number));
  return name;
}

std::optional<PrinterFolder> PrinterFolder::Open(const std::string& path, bool create,
                                                 std::string& why) {
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
      why = error.message();
      return std::nullopt;
    }
  }
  // The folder's own path may lead through links: the user named it. What is planted
  // inside it is another matter, and every name there is opened without following links.
  FileHandle fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    why = errno == ENOTDIR ? "a file of that name is in the way" : std::strerror(errno);
    return std::nullopt;
  }
  return PrinterFolder(path, std::move(fd));
}

std::string PrinterFolder::PathOf(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

PrinterFolder::Entry PrinterFolder::Look(const std::string& name, std::string* target) const {
  struct stat info {};
  if (::fstatat(fd_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Entry::kMissing;
  if (S_ISLNK(info.st_mode)) {
    if (target != nullptr) {
      std::array<char, 4096> buffer{};
      const ssize_t length = ::readlinkat(fd_.get(), name.c_str(), buffer.data(), buffer.size());
      target->assign(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    return Entry::kLink;
  }
  return S_ISREG(info.st_mode) ? Entry::kFile : Entry::kOther;
}

std::optional<std::string> PrinterFolder::WriteTemporary(std::span<const std::uint8_t> bytes,
                                                         bool sync, FileError& error) {
  for (int tries = 0; tries < 100; ++tries) {
    const std::string name =
        ".quillmark-" + std::to_string(::getpid()) + "-" + std::to_string(++temporaries_) + ".tmp";
    // O_EXCL also refuses a link of that name, wherever it points.
    FileHandle fd(::openat(fd_.get(), name.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid() && errno == EEXIST) continue;
    if (!fd.valid()) {
      error = {FileStep::kCreateTemporary, LastFileError(), path_};
      return std::nullopt;
    }
    FileStep failed = FileStep::kNone;
    std::error_code code = WriteAll(fd, bytes);
    if (code) {
      failed = FileStep::kWrite;
    } else if (sync && ::fsync(fd.get()) != 0) {
      failed = FileStep::kSync;
      code = LastFileError();
    } else if ((code = fd.Close())) {
      failed = FileStep::kClose;
    }
    if (failed == FileStep::kNone) return name;
    error = {failed, code, PathOf(name)};
    ::unlinkat(fd_.get(), name.c_str(), 0);
    return std::nullopt;
  }
  error = {FileStep::kCreateTemporary, std::make_error_code(std::errc::file_exists), path_};
  return std::nullopt;
}

PrinterFolder::Put PrinterFolder::CreateNew(const std::string& name,
                                            std::span<const std::uint8_t> bytes, FileError& error) {
  if (Look(name) != Entry::kMissing) return Put::kTaken;
  // A sheet is a preview that can be printed again: it is not synced, which would cost
  // more than the rest of a small job.
  const std::optional<std::string> temporary = WriteTemporary(bytes, false, error);
  if (!temporary) return Put::kFailed;
  Put result = Put::kDone;
  if (::linkat(fd_.get(), temporary->c_str(), fd_.get(), name.c_str(), 0) != 0) {
    if (errno == EEXIST) {
      result = Put::kTaken;
    } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EMLINK) {
      // No hard links here (FAT, some network file systems): created exclusively instead.
      FileHandle fd(::openat(fd_.get(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (!fd.valid()) {
        result = errno == EEXIST ? Put::kTaken : Put::kFailed;
        error = {FileStep::kOpenForWriting, LastFileError(), PathOf(name)};
      } else if (std::error_code code = WriteAll(fd, bytes); code || (code = fd.Close())) {
        error = {FileStep::kWrite, code, PathOf(name)};
        ::unlinkat(fd_.get(), name.c_str(), 0);
        result = Put::kFailed;
      }
    } else {
      error = {FileStep::kReplace, LastFileError(), PathOf(name)};
      result = Put::kFailed;
    }
  }
  ::unlinkat(fd_.get(), temporary->c_str(), 0);
  return result;
}

PrinterFolder::Put PrinterFolder::Replace(const std::string& name,
                                          std::span<const std::uint8_t> bytes, FileError& error) {
  if (Look(name) == Entry::kLink) return Put::kLink;
  const std::optional<std::string> temporary = WriteTemporary(bytes, true, error);
  if (!temporary) return Put::kFailed;
  if (Look(name) == Entry::kLink) {  // planted while the file was written
    ::unlinkat(fd_.get(), temporary->c_str(), 0);
    return Put::kLink;
  }
  if (::renameat(fd_.get(), temporary->c_str(), fd_.get(), name.c_str()) != 0) {
    error = {FileStep::kReplace, LastFileError(), PathOf(name)};
    ::unlinkat(fd_.get(), temporary->c_str(), 0);
    return Put::kFailed;
  }
  return Put::kDone;
}

PrinterFolder::Sheets PrinterFolder::ScanSheets() const {
  Sheets sheets;
  FileHandle copy(::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!copy.valid()) return sheets;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(copy.get()), &::closedir);
  if (!dir) return sheets;
  copy.release();  // the folder stream owns it now
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<std::uint64_t> number = SheetNumber(entry->d_name);
    if (!number) continue;
    sheets.highest = std::max(sheets.highest, *number);
    struct stat info {};
    if (::fstatat(fd_.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode))
      sheets.bytes += static_cast<std::uint64_t>(info.st_size);
  }
  return sheets;
}

}  // namespace quillmark::cli
