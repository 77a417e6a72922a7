#include "files/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillmark {
namespace {

// Buffer for copying the rest of an existing file.
constexpr std::uint32_t kCopyBufferSize = std::uint32_t{1} << 18;

// ---- The platform's file calls -------------------------------------------------------

#ifdef _WIN32

int SysCreateExclusive(const std::string& path) {
  return _wopen(WidePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}

// Windows has no permission bits to copy beyond read-only, which a writable original
// lacks, and a new file takes its folder's access rules.
bool SysTakeOver(int, const FileInfo&) {
  return true;
}

void SysRemove(const std::string& path) {
  _wunlink(WidePath(path).c_str());
}

// MoveFileEx with MOVEFILE_WRITE_THROUGH has already made the rename durable.
void SysSyncFolder(const std::string&) {}

unsigned long SysProcessId() {
  return static_cast<unsigned long>(_getpid());
}

std::error_code SyncCall(int fd) {
  return _commit(fd) == 0 ? std::error_code{} : LastFileError();
}

std::error_code ReplaceCall(const std::string& from, const std::string& to) {
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return {};
  return {static_cast<int>(GetLastError()), std::system_category()};
}

#else

int SysCreateExclusive(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The owner and group are copied as far as allowed (root may give any owner, others only
// a group of their own) and silently kept otherwise, as for any file one writes. The mode
// follows, since a change of owner clears the set-user-ID bits, and must succeed: the
// file is the caller's own.
bool SysTakeOver(int fd, const FileInfo& existing) {
  if (existing.owner >= 0 && existing.group >= 0) {
    if (::fchown(fd, static_cast<uid_t>(existing.owner), static_cast<gid_t>(existing.group)) != 0)
      ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(existing.group));
  }
  return ::fchmod(fd, static_cast<mode_t>(existing.mode)) == 0;
}

void SysRemove(const std::string& path) {
  ::unlink(path.c_str());
}

// Makes the rename itself durable. By the time this runs the new file is complete and in
// place, so a folder that cannot be synced (some file systems refuse) changes nothing
// that could be reported.
void SysSyncFolder(const std::string& folder) {
  const FileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

unsigned long SysProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::error_code SyncCall(int fd) {
  int result;
  do {
    result = ::fsync(fd);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? std::error_code{} : LastFileError();
}

std::error_code ReplaceCall(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code{} : LastFileError();
}

#endif

std::error_code CloseCall(int fd) {
  return FileHandle(fd).Close();
}

std::filesystem::path ToFsPath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string FromFsPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The folder holding `path`, "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = ToFsPath(path).parent_path();
  return parent.empty() ? std::string(".") : FromFsPath(parent);
}

// A name for the temporary file beside `target`: hidden, unlikely to meet another, and
// created with O_EXCL so that a name already taken is never reused.
std::string TemporaryNameFor(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned long long tag = ticks ^ (static_cast<unsigned long long>(SysProcessId()) << 32) ^
                                 (static_cast<unsigned long long>(counter++) << 16) ^ attempt;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%012llx.tmp", tag & 0xFFFFFFFFFFFFull);
  const std::filesystem::path targetPath = ToFsPath(target);
  // The target's own name, cut so that a long one still leaves room for the suffix within
  // the system's limit on a name; never inside a UTF-8 character.
  std::string base = FromFsPath(targetPath.filename());
  constexpr std::size_t kMaxBase = 100;
  if (base.size() > kMaxBase) {
    std::size_t cut = kMaxBase;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
      --cut;
    base.resize(cut);
  }
  const std::filesystem::path name = ToFsPath("." + base + std::string(suffix));
  return FromFsPath(targetPath.parent_path() / name);
}

}  // namespace

const FileCalls& SystemFileCalls() noexcept {
  static const FileCalls calls{&SyncCall, &CloseCall, &ReplaceCall};
  return calls;
}

// ---- Reading -------------------------------------------------------------------------

std::string ResolveLinks(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the system's own limit, so a loop ends
  std::filesystem::path current = ToFsPath(path);
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) break;
    const std::filesystem::path target = std::filesystem::read_symlink(current, ec);
    if (ec) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return FromFsPath(current);
}

// ---- ReplacementFile -----------------------------------------------------------------

ReplacementFile::ReplacementFile(std::string target, std::string temporary, FileHandle file,
                                 const FileCalls& calls) noexcept
    : target_(std::move(target)),
      temporary_(std::move(temporary)),
      file_(std::move(file)),
      calls_(&calls) {}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      file_(std::move(other.file_)),
      calls_(other.calls_),
      done_(std::exchange(other.done_, true)) {}

ReplacementFile::~ReplacementFile() {
  if (done_) return;
  file_.reset();  // Windows removes no open file
  SysRemove(temporary_);
}

std::optional<ReplacementFile> ReplacementFile::Create(const std::string& target,
                                                       const FileInfo* existing,
                                                       const FileCalls& calls, FileError& error) {
  constexpr unsigned kAttempts = 100;
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temporary = TemporaryNameFor(target, attempt);
    FileHandle file(SysCreateExclusive(temporary));
    if (!file.valid()) {
      if (errno == EEXIST) continue;
      error = {FileStep::kCreateTemporary, LastFileError(), FolderOf(target)};
      return std::nullopt;
    }
    ReplacementFile replacement(target, std::move(temporary), std::move(file), calls);
    if (existing != nullptr && !SysTakeOver(replacement.file_.get(), *existing)) {
      error = {FileStep::kCreateTemporary, LastFileError(), FolderOf(target)};
      return std::nullopt;  // the destructor removes the file just made
    }
    return replacement;
  }
  error = {FileStep::kCreateTemporary, std::make_error_code(std::errc::file_exists),
           FolderOf(target)};
  return std::nullopt;
}

bool ReplacementFile::Write(std::span<const std::uint8_t> bytes, FileError& error) {
  const std::error_code code = WriteAll(file_, bytes);
  if (!code) return true;
  error = {FileStep::kWrite, code, temporary_};
  return false;
}

bool ReplacementFile::CopyFrom(const FileHandle& source, std::uint64_t offset,
                               const std::string& sourcePath, FileError& error) {
  FileInfo info;
  bool regular = false;
  if (const std::error_code code = QueryFile(source, info, regular)) {
    error = {FileStep::kRead, code, sourcePath};
    return false;
  }
  if (info.size <= offset) return true;
  auto buffer = ByteBlock::Allocate(kCopyBufferSize);
  if (!buffer) {
    error = {FileStep::kRead, std::make_error_code(std::errc::not_enough_memory), sourcePath};
    return false;
  }
  for (std::uint64_t at = offset;;) {
    std::error_code code;
    const auto got = ReadAt(source, at, buffer->bytes(), code);
    if (!got) {
      error = {FileStep::kRead, code, sourcePath};
      return false;
    }
    if (*got == 0) return true;
    if (!Write(buffer->bytes().first(*got), error)) return false;
    at += *got;
  }
}

bool ReplacementFile::Commit(FileError& error) {
  if (const std::error_code code = calls_->sync(file_.get())) {
    error = {FileStep::kSync, code, temporary_};
    return false;
  }
  if (const std::error_code code = calls_->close(file_.release())) {
    error = {FileStep::kClose, code, temporary_};
    return false;
  }
  if (const std::error_code code = calls_->replace(temporary_, target_)) {
    error = {FileStep::kReplace, code, target_};
    return false;
  }
  done_ = true;
  SysSyncFolder(FolderOf(target_));
  return true;
}

FileError ReplaceFileContents(const std::string& path, std::span<const std::uint8_t> bytes,
                              const FileCalls& calls) {
  const std::string target = ResolveLinks(path);
  FileError error;
  std::optional<FileInfo> existing;
  {
    // An existing file must be writable, as it would have to be to write it in place: a
    // rename alone would replace even a read-only file. Opening it changes nothing.
    FileInfo info;
    const FileHandle file = OpenExisting(target, FileAccess::kWrite, info, error);
    if (file.valid()) {
      existing = info;
    } else if (error.step == FileStep::kOpenForWriting && IsNotFound(error.code)) {
      error = {};  // a new file
    } else {
      return error;
    }
  }
  auto replacement = ReplacementFile::Create(target, existing ? &*existing : nullptr, calls, error);
  if (!replacement) return error;
  if (!replacement->Write(bytes, error)) return error;
  if (!replacement->Commit(error)) return error;
  return {};
}

}  // namespace quillmark
