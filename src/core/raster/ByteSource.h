#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "files/FileHandle.h"
#include "raster/PictureError.h"

namespace quillmark {

// Random access to the bytes of a picture. Every read is checked against the size: a read
// that would pass the end reads nothing and reports kTruncated.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const noexcept = 0;
  // Fills `out` with the bytes from `offset` on: kNone, kTruncated when they are not all
  // there, kReadFailed on an input/output error.
  virtual PictureError ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept = 0;

 protected:
  bool InRange(std::uint64_t offset, std::uint64_t count) const noexcept {
    return offset <= Size() && count <= Size() - offset;
  }
};

// Bytes held by the caller, who keeps them alive while the source is used.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}
  std::uint64_t Size() const noexcept override { return bytes_.size(); }
  PictureError ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// A regular file opened for reading, closed with the object. Reads go straight to the
// file at their offset (files/FileIo.h's ReadAt), so only the bytes asked for are ever held
// in memory.
class FileByteSource final : public ByteSource {
 public:
  // Empty optional, with `error` set, when the path is not a readable regular file:
  // kNotAFile for a folder, a FIFO or a device, refused by what it is before it is opened
  // (a FIFO's open would wait for a writer), else kCannotOpen with the system's error in
  // `*systemError` when given.
  static std::optional<FileByteSource> Open(const std::filesystem::path& path, PictureError& error,
                                            int* systemError = nullptr) noexcept;

  std::uint64_t Size() const noexcept override { return size_; }
  PictureError ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) noexcept override;

 private:
  FileByteSource(FileHandle file, std::uint64_t size) noexcept
      : file_(std::move(file)), size_(size) {}

  FileHandle file_;
  std::uint64_t size_ = 0;
};

}  // namespace quillmark
