#include "virtualprinter/Paper.h"

#include <cstring>
#include <limits>
#include <utility>

namespace quillmark {

Paper::Paper(int widthDots) noexcept
    : width_(widthDots < 1 ? 1 : widthDots),
      rowBytes_((static_cast<std::size_t>(width_) + 7) / 8) {}

Paper::Paper(Paper&& other) noexcept
    : width_(other.width_),
      rowBytes_(other.rowBytes_),
      height_(std::exchange(other.height_, 0)),
      capacityRows_(std::exchange(other.capacityRows_, 0)),
      bits_(std::move(other.bits_)) {}

Paper& Paper::operator=(Paper&& other) noexcept {
  if (this != &other) {
    width_ = other.width_;
    rowBytes_ = other.rowBytes_;
    height_ = std::exchange(other.height_, 0);
    capacityRows_ = std::exchange(other.capacityRows_, 0);
    bits_ = std::move(other.bits_);
  }
  return *this;
}

std::span<const std::uint8_t> Paper::Row(int y) const noexcept {
  return {bits_.get() + static_cast<std::size_t>(y) * rowBytes_, rowBytes_};
}

std::span<std::uint8_t> Paper::MutableRow(int y) noexcept {
  return {bits_.get() + static_cast<std::size_t>(y) * rowBytes_, rowBytes_};
}

void Paper::SetDot(int x, int y) noexcept {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  bits_[static_cast<std::size_t>(y) * rowBytes_ + static_cast<std::size_t>(x) / 8] |=
      static_cast<std::uint8_t>(0x80U >> (static_cast<unsigned>(x) % 8));
}

bool Paper::Feed(int rows) noexcept {
  if (rows < 0 || rows > std::numeric_limits<int>::max() - height_) return false;
  if (rows == 0) return true;
  const std::size_t needed = static_cast<std::size_t>(height_) + static_cast<std::size_t>(rows);
  if (needed > capacityRows_) {
    std::size_t grown = capacityRows_ < 256 ? 256 : capacityRows_ * 2;
    if (grown < needed) grown = needed;
    if (grown > std::numeric_limits<std::size_t>::max() / rowBytes_) return false;
    void* moved = std::realloc(bits_.get(), grown * rowBytes_);
    if (moved == nullptr) return false;  // the old buffer is still ours, and unchanged
    (void)bits_.release();
    bits_.reset(static_cast<std::uint8_t*>(moved));
    capacityRows_ = grown;
  }
  std::memset(bits_.get() + static_cast<std::size_t>(height_) * rowBytes_, 0,
              static_cast<std::size_t>(rows) * rowBytes_);
  height_ += rows;
  return true;
}

MonoImageView Paper::View() const noexcept {
  return MonoImageView{width_, height_, rowBytes_, bits_.get()};
}

}  // namespace quillmark
