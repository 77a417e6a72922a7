#include "virtualprinter/Render.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillmark {

ReadFileError FeedFile(VirtualPrinter& printer, const std::string& path, std::uint64_t maxBytes,
                       FileError& error) noexcept {
  FileInfo info;
  const FileHandle file = OpenExisting(path, FileAccess::kRead, info, error);
  if (!file.valid()) {
    return error.code == std::errc::no_such_file_or_directory ? ReadFileError::kNotFound
                                                              : ReadFileError::kUnreadable;
  }
  if (info.size > maxBytes) return ReadFileError::kTooLarge;
  // A file that grows while it is read is read only as far as the limit.
  std::array<std::uint8_t, 16384> buffer;
  for (std::uint64_t left = maxBytes;;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left));
    const auto got = ReadUpTo(file, std::span<std::uint8_t>(buffer.data(), want), path, error);
    if (!got) return ReadFileError::kUnreadable;
    printer.Feed(std::span<const std::uint8_t>(buffer.data(), *got));
    left -= *got;
    if (*got < want || left == 0) return ReadFileError::kNone;
  }
}

RenderResult FeedRenderInput(VirtualPrinter& printer, const std::string& path) noexcept {
  FileError why;
  switch (FeedFile(printer, path, kMaxRenderInputBytes, why)) {
    case ReadFileError::kNone:
      break;
    case ReadFileError::kNotFound:
      return {RenderError::kInputNotFound, path, {}, {}};
    case ReadFileError::kTooLarge:
      return {RenderError::kInputTooLarge, path, {}, {}};
    case ReadFileError::kUnreadable:
    case ReadFileError::kOutOfMemory:
      return {RenderError::kInputUnreadable, path, std::move(why), {}};
  }
  return {};
}

}  // namespace quillmark
