#include "virtualprinter/FileIo.h"

#include <cerrno>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quillmark {
namespace {

// Pushes the file's data to the device, so that the rename that follows never makes a
// file visible whose content is still only in a cache.
bool SyncToDevice(std::FILE* file) noexcept {
#if defined(_WIN32)
  (void)file;  // MoveFileEx with MOVEFILE_WRITE_THROUGH below does the waiting
  return true;
#else
  return fsync(fileno(file)) == 0;
#endif
}

bool ReplaceFile(const std::string& from, const std::string& to) noexcept {
#if defined(_WIN32)
  // rename() on Windows refuses an existing target; MoveFileEx replaces it in one step.
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

FilePtr OpenFile(const std::string& path, const char* mode) noexcept {
  return FilePtr(std::fopen(path.c_str(), mode));
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) noexcept {
  if (path.empty()) return false;
  const std::string temporary = path + ".tmp";
  FilePtr file = OpenFile(temporary, "wb");
  if (!file) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = ok && std::fflush(file.get()) == 0 && SyncToDevice(file.get());
  ok = std::fclose(file.release()) == 0 && ok;
  ok = ok && ReplaceFile(temporary, path);
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

ReadFileResult ReadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept {
  ReadFileResult result;
  errno = 0;
  FilePtr file = OpenFile(path, "rb");
  if (!file) {
    result.error = errno == ENOENT ? ReadFileError::kNotFound : ReadFileError::kUnreadable;
    return result;
  }
  if (std::fseek(file.get(), 0, SEEK_END) != 0) {
    result.error = ReadFileError::kUnreadable;
    return result;
  }
  const long length = std::ftell(file.get());
  if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    result.error = ReadFileError::kUnreadable;
    return result;
  }
  if (static_cast<unsigned long>(length) > maxSize) {
    result.error = ReadFileError::kTooLarge;
    return result;
  }
  auto buffer = ByteBlock::Allocate(static_cast<std::uint32_t>(length));
  if (!buffer) {
    result.error = ReadFileError::kOutOfMemory;
    return result;
  }
  const auto size = static_cast<std::size_t>(length);
  // A file that grew after its size was taken is read as far as its size then was.
  if (std::fread(buffer->data(), 1, size, file.get()) != size) {
    result.error = ReadFileError::kUnreadable;
    return result;
  }
  result.bytes = std::move(buffer);
  return result;
}

}  // namespace quillmark
