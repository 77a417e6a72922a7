#include "raster/ByteSource.h"

#include <cstring>
#include <utility>

#include "files/FileIo.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
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

PictureError FileByteSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept {
  if (!InRange(offset, out.size())) return PictureError::kTruncated;
  std::error_code error;
  const std::optional<std::size_t> got = quillmark::ReadAt(file_, offset, out, error);
  if (!got) return PictureError::kReadFailed;
  return *got < out.size() ? PictureError::kTruncated  // the file shrank under us
                           : PictureError::kNone;
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
  // The C runtime's descriptor owns the handle from here on, as every file of the program.
  FileHandle file(_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY));
  if (!file.valid()) {
    CloseHandle(handle);
    return std::nullopt;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size) || size.QuadPart < 0) return std::nullopt;
  error = PictureError::kNone;
  return FileByteSource(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
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
  FileHandle file(fd);
  if (!file.valid()) return fail(errno);
  if (::fstat(file.get(), &info) != 0) return fail(errno);
  if (!S_ISREG(info.st_mode) || info.st_size < 0) {
    error = PictureError::kNotAFile;
    return std::nullopt;
  }
  error = PictureError::kNone;
  return FileByteSource(std::move(file), static_cast<std::uint64_t>(info.st_size));
}

#endif

}  // namespace quillmark
