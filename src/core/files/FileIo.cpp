#include "files/FileIo.h"

#include "files/SafeFile.h"

namespace quillmark {

ReadFileResult LoadWholeFile(const std::string& path, std::uint32_t maxSize) noexcept {
  ReadFileResult result;
  FileInfo info;
  FileError error;
  const FileHandle file = OpenExisting(path, FileAccess::kRead, info, error);
  if (!file.valid()) {
    result.error = error.code == std::errc::no_such_file_or_directory ? ReadFileError::kNotFound
                                                                      : ReadFileError::kUnreadable;
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
