#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "raster/MonoImage.h"

namespace quillmark {

// The printed paper of a virtual printer: a strip `width` dots across that grows downwards
// as the printer feeds it. One bit a dot, a set bit black, packed as MonoImageView
// describes, so the rows go to the PNG writer unchanged.
//
// The buffer grows by doubling with malloc/realloc, so that running out of memory is a
// false result of Feed and never an exception.
class Paper {
 public:
  // A blank strip; widths below 1 are taken as 1.
  explicit Paper(int widthDots) noexcept;
  Paper(Paper&& other) noexcept;
  Paper& operator=(Paper&& other) noexcept;
  Paper(const Paper&) = delete;
  Paper& operator=(const Paper&) = delete;
  ~Paper() = default;

  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  std::size_t rowBytes() const noexcept { return rowBytes_; }

  // Whether dot (x, y) is black; false outside the strip.
  bool Dot(int x, int y) const noexcept { return View().Dot(x, y); }
  // Row y, 0 <= y < height().
  std::span<const std::uint8_t> Row(int y) const noexcept;
  std::span<std::uint8_t> MutableRow(int y) noexcept;
  // Blackens dot (x, y); a dot outside the strip is left alone.
  void SetDot(int x, int y) noexcept;

  // Adds `rows` white rows at the bottom. False, with the strip unchanged, when the memory
  // cannot be had or rows is negative.
  bool Feed(int rows) noexcept;

  MonoImageView View() const noexcept;

 private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
  };

  int width_;
  std::size_t rowBytes_;
  int height_ = 0;
  std::size_t capacityRows_ = 0;
  std::unique_ptr<std::uint8_t[], FreeDeleter> bits_;
};

}  // namespace quillmark
