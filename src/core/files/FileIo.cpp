#include "files/FileIo.h"

#include <algorithm>
#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillmark {
namespace {

// At most this much goes to one read or write call (the Windows C runtime counts in
// unsigned int); large enough that a 24 MB stream takes a handful of calls.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 24;

#ifdef _WIN32

int SysOpenExisting(const std::string& path, FileAccess access) {
  int flags = _O_BINARY | _O_NOINHERIT;
  flags |= access == FileAccess::kRead    ? _O_RDONLY
           : access == FileAccess::kWrite ? _O_WRONLY
                                          : _O_RDWR;
  return _wopen(WidePath(path).c_str(), flags);
}

long long SysRead(int fd, std::uint8_t* data, std::size_t count) {
  return _read(fd, data, static_cast<unsigned>(count));
}

long long SysWrite(int fd, const std::uint8_t* data, std::size_t count) {
  return _write(fd, data, static_cast<unsigned>(count));
}

// ReadFile at an offset, on the system's handle under the descriptor; -1 with the system's
// error in `error` when it fails.
long long SysReadAt(int fd, std::uint8_t* data, std::size_t count, std::uint64_t offset,
                    std::error_code& error) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), data, static_cast<DWORD>(count), &got,
                &position)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    error = {static_cast<int>(GetLastError()), std::system_category()};
    return -1;
  }
  return got;
}

#else

int SysOpenExisting(const std::string& path, FileAccess access) {
  // O_NONBLOCK keeps a pipe without a writer from blocking the open; it is refused as not
  // a regular file right after. Regular files ignore the flag.
  int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  flags |= access == FileAccess::kRead    ? O_RDONLY
           : access == FileAccess::kWrite ? O_WRONLY
                                          : O_RDWR;
  int fd;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

long long SysRead(int fd, std::uint8_t* data, std::size_t count) {
  return ::read(fd, data, count);
}

long long SysWrite(int fd, const std::uint8_t* data, std::size_t count) {
  return ::write(fd, data, count);
}

long long SysReadAt(int fd, std::uint8_t* data, std::size_t count, std::uint64_t offset,
                    std::error_code& error) {
  ssize_t got;
  do {
    got = ::pread(fd, data, count, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  if (got < 0) error = LastFileError();
  return got;
}

#endif

}  // namespace

std::error_code LastFileError() noexcept {
  return {errno, std::generic_category()};
}

#ifdef _WIN32
std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}
#endif

std::error_code QueryFile(const FileHandle& file, FileInfo& info, bool& regular) noexcept {
#ifdef _WIN32
  struct _stat64 st {};
  if (_fstat64(file.get(), &st) != 0) return LastFileError();
  regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  info.mode = 0;  // only a read-only attribute, which a file opened for writing lacks
#else
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return LastFileError();
  regular = S_ISREG(st.st_mode);
  info.mode = static_cast<unsigned>(st.st_mode & 07777);
  info.owner = static_cast<long long>(st.st_uid);
  info.group = static_cast<long long>(st.st_gid);
#endif
  info.size = static_cast<std::uint64_t>(st.st_size);
  return {};
}

FileHandle OpenExisting(const std::string& path, FileAccess access, FileInfo& info,
                        FileError& error) {
  const FileStep openStep =
      access == FileAccess::kRead ? FileStep::kOpenForReading : FileStep::kOpenForWriting;
  FileHandle file(SysOpenExisting(path, access));
  if (!file.valid()) {
    error = {openStep, LastFileError(), path};
    return {};
  }
  bool regular = false;
  if (const std::error_code code = QueryFile(file, info, regular)) {
    error = {openStep, code, path};
    return {};
  }
  if (!regular) {
    error = {FileStep::kNotRegularFile, {}, path};
    return {};
  }
  return file;
}

std::optional<std::size_t> ReadUpTo(const FileHandle& file, std::span<std::uint8_t> buffer,
                                    const std::string& path, FileError& error) {
  std::size_t total = 0;
  while (total < buffer.size()) {
    const long long got =
        SysRead(file.get(), buffer.data() + total, std::min(buffer.size() - total, kMaxTransfer));
    if (got < 0) {
      if (errno == EINTR) continue;
      error = {FileStep::kRead, LastFileError(), path};
      return std::nullopt;
    }
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return total;
}

std::optional<std::size_t> ReadAt(const FileHandle& file, std::uint64_t offset,
                                  std::span<std::uint8_t> buffer, std::error_code& error) noexcept {
  std::size_t total = 0;
  while (total < buffer.size()) {
    const long long got =
        SysReadAt(file.get(), buffer.data() + total, std::min(buffer.size() - total, kMaxTransfer),
                  offset + total, error);
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return total;
}

std::error_code WriteAll(const FileHandle& file, std::span<const std::uint8_t> bytes) noexcept {
  while (!bytes.empty()) {
    const long long written =
        SysWrite(file.get(), bytes.data(), std::min(bytes.size(), kMaxTransfer));
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastFileError();
    }
    if (written == 0) return std::make_error_code(std::errc::io_error);  // no progress, no error
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return {};
}

bool IsNotFound(const std::error_code& code) noexcept {
  return code == std::errc::no_such_file_or_directory;
}

ReadFileResult LoadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept {
  ReadFileResult result;
  FileInfo info;
  FileError error;
  const FileHandle file = OpenExisting(path, FileAccess::kRead, info, error);
  if (!file.valid()) {
    result.error = IsNotFound(error.code) ? ReadFileError::kNotFound : ReadFileError::kUnreadable;
    return result;
  }
  if (info.size > maxSize) {
    result.error = ReadFileError::kTooLarge;
    return result;
  }
  auto buffer = ByteBlock::Allocate(static_cast<std::uint32_t>(info.size));
  if (!buffer) {
    result.error = ReadFileError::kOutOfMemory;
    return result;
  }
  // A file that changed length after it was opened is not the file that was measured.
  const auto got = ReadUpTo(file, buffer->bytes(), path, error);
  if (!got || *got != info.size) {
    result.error = ReadFileError::kUnreadable;
    return result;
  }
  result.bytes = std::move(buffer);
  return result;
}

}  // namespace quillmark
