#include "files/FileHandle.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillmark {
namespace {

int CloseDescriptor(int fd) noexcept {
#ifdef _WIN32
  return ::_close(fd);
#else
  return ::close(fd);
#endif
}

}  // namespace

void FileHandle::reset(int fd) noexcept {
  if (fd_ >= 0) CloseDescriptor(fd_);
  fd_ = fd;
}

std::error_code FileHandle::Close() noexcept {
  if (fd_ < 0) return {};
  // Linux and the C runtime release the descriptor even when the close reports an error,
  // so it is never retried.
  if (CloseDescriptor(std::exchange(fd_, -1)) == 0) return {};
  return {errno, std::generic_category()};
}

}  // namespace quillmark
