#include "raster/ByteSource.h"

#include <cstring>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace quillmark {

PictureError MemoryByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept {
  if (!InRange(offset, out.size())) return PictureError::kTruncated;
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return PictureError::kNone;
}

FileByteSource::FileByteSource(FileByteSource&& other) noexcept
    : handle_(std::exchange(other.handle_, InvalidHandle())),
      size_(std::exchange(other.size_, 0)) {}

FileByteSource& FileByteSource::operator=(FileByteSource&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, InvalidHandle());
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

FileByteSource::~FileByteSource() {
  Close();
}

#ifdef _WIN32

std::optional<FileByteSource> FileByteSource::Open(const std::filesystem::path& path,
                                                   PictureError& error, int* systemError) noexcept {
  error = PictureError::kCannotOpen;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (systemError != nullptr) *systemError = static_cast<int>(GetLastError());
    return std::nullopt;
  }
  FileByteSource file(handle, 0);
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size) || size.QuadPart < 0) return std::nullopt;
  file.size_ = static_cast<std::uint64_t>(size.QuadPart);
  error = PictureError::kNone;
  return file;
}

PictureError FileByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept {
  if (!InRange(offset, out.size())) return PictureError::kTruncated;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    const std::size_t left = out.size() - done;
    const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(handle_, out.data() + done, ask, &got, &position)) {
      return PictureError::kReadFailed;
    }
    if (got == 0) return PictureError::kTruncated;  // the file shrank under us
    done += got;
  }
  return PictureError::kNone;
}

void FileByteSource::Close() noexcept {
  if (handle_ != InvalidHandle()) CloseHandle(handle_);
  handle_ = InvalidHandle();
}

#else

std::optional<FileByteSource> FileByteSource::Open(const std::filesystem::path& path,
                                                   PictureError& error, int* systemError) noexcept {
  error = PictureError::kCannotOpen;
  auto fail = [&](int errorNumber) {
    if (systemError != nullptr) *systemError = errorNumber;
    return std::nullopt;
  };
  // Only regular files, told by what the path is before it is opened: the open of a FIFO
  // waits for a writer, a terminal's reads wait for input, a directory cannot be read, and
  // none of them has a size to check reads against.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return fail(errno);
  if (!S_ISREG(info.st_mode)) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  // Non-blocking, so that a FIFO put in the file's place meanwhile cannot hold the open.
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return fail(errno);
  FileByteSource file(fd, 0);
  if (::fstat(fd, &info) != 0) return fail(errno);
  if (!S_ISREG(info.st_mode) || info.st_size < 0) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  file.size_ = static_cast<std::uint64_t>(info.st_size);
  error = PictureError::kNone;
  return file;
}

PictureError FileByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept {
  if (!InRange(offset, out.size())) return PictureError::kTruncated;
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(handle_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return PictureError::kReadFailed;
    }
    if (got == 0) return PictureError::kTruncated;  // the file shrank under us
    done += static_cast<std::size_t>(got);
  }
  return PictureError::kNone;
}

void FileByteSource::Close() noexcept {
  if (handle_ != InvalidHandle()) ::close(handle_);
  handle_ = InvalidHandle();
}

#endif

}  // namespace quillmark
