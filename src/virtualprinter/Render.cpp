#include "virtualprinter/Render.h"

#include <array>
#include <cerrno>

#include "virtualprinter/PngWriter.h"

namespace quillmark {

ReadFileError FeedFile(VirtualPrinter& printer, const std::string& path) noexcept {
  errno = 0;
  FilePtr file = OpenFile(path, "rb");
  if (!file) return errno == ENOENT ? ReadFileError::kNotFound : ReadFileError::kUnreadable;
  std::array<std::uint8_t, 16384> buffer;
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    printer.Feed(std::span<const std::uint8_t>(buffer.data(), got));
    if (got < buffer.size()) break;
  }
  return std::ferror(file.get()) != 0 ? ReadFileError::kUnreadable : ReadFileError::kNone;
}

RenderResult RenderStreamsToPng(VirtualPrinter& printer, std::span<const std::string> inputs,
                                const std::string& pngPath) noexcept {
  for (const std::string& input : inputs) {
    const ReadFileError error = FeedFile(printer, input);
    if (error == ReadFileError::kNotFound) return {RenderError::kInputNotFound, input, {}};
    if (error != ReadFileError::kNone) return {RenderError::kInputUnreadable, input, {}};
  }
  const Paper paper = printer.TakePaper();
  FileError written = WritePngFile(paper.View(), pngPath);
  if (written) return {RenderError::kOutputFailed, pngPath, std::move(written)};
  return {};
}

}  // namespace quillmark
