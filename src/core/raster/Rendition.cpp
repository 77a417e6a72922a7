#include "raster/Rendition.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "raster/DecodeLimits.h"
#include "raster/HeapArray.h"

namespace quillmark {
namespace {

constexpr std::int32_t kWhite = 25500;  // the grey level of white, in hundredths

constexpr std::array<std::array<std::uint8_t, 8>, 8> kBayer = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

std::int32_t RoundedRatio(std::int64_t a, std::int64_t b, std::int64_t c) noexcept {
  // round(a * b / c), at least 1
  return static_cast<std::int32_t>(std::max<std::int64_t>(1, (2 * a * b + c) / (2 * c)));
}

// Rows are handled in runs of this many entries, their buffers rounded up to it, so that
// the loops over them have a fixed length the compiler turns into vector code.
constexpr std::size_t kStep = 16;

constexpr std::size_t Padded(std::int32_t n) noexcept {
  return (static_cast<std::size_t>(n) + kStep - 1) / kStep * kStep;
}

// One step of Floyd-Steinberg along a row whose entries already hold the grey level plus
// the errors carried down from the row above. The error of a dot is chosen by a mask, not a
// branch: a dithered row is dark and light at random, which a branch would guess wrong
// half the time.
struct FloydSteinbergStep {
  std::int32_t right = 0, belowLeft = 0, below = 0;  // errors on their way

  void Step(std::int32_t u, const std::int32_t* __restrict cur, std::int32_t* __restrict next,
            std::uint8_t* __restrict marks, std::int32_t t) noexcept {
    const std::int32_t v = cur[u] + right;
    const std::int32_t dark = (v - t) >> 31;  // all ones for a dark dot, else 0
    const std::int32_t e = v - kWhite + (kWhite & dark);
    const std::int32_t e7 = (7 * e) >> 4, e3 = (3 * e) >> 4, e5 = (5 * e) >> 4;
    right = e7;
    // Below-left of u is final once u is done: each entry of the next row is stored once.
    next[u - 1] = belowLeft + e3;
    belowLeft = below + e5;
    below = e - e7 - e3 - e5;
    marks[u] = static_cast<std::uint8_t>(dark);
  }
};

// Chooses the dots of the window's rows from their grey levels, handing each row's marks,
// 0xFF for a dark dot and 0 for a light one, to `emit(row, marks)` in row order. Error
// diffusion keeps three rows of errors of the window's width, nothing more.
//
// Floyd-Steinberg works on two rows at once, the second three dots behind the first, so
// that the two rows' chains of errors along the row overlap in the processor; a row
// therefore waits for the next one, and Finish does the last. Each row's grey levels are
// added into its row of errors in place and read from there.
class Toner {
 public:
  bool Allocate(std::int32_t width) noexcept {
    width_ = width;
    const std::size_t stride = Padded(width) + 4;
    auto errors = HeapArray<std::int32_t>::Allocate(3 * stride);
    auto first = HeapArray<std::uint8_t>::Allocate(Padded(width));
    auto second = HeapArray<std::uint8_t>::Allocate(Padded(width));
    if (!errors || !first || !second) return false;
    errors_ = std::move(*errors);
    marks_ = {std::move(*first), std::move(*second)};
    for (std::size_t k = 0; k < 3; ++k)
      rows_[k] = errors_.data() + k * stride + 2;  // two spare entries each side
    return true;
  }

  template <typename Emit>
  void Row(Dither dither, std::int32_t t, const std::uint16_t* __restrict grey, std::int32_t row,
           Emit&& emit) noexcept {
    const std::int32_t n = width_;
    std::int32_t* __restrict cur = rows_[0];
    std::int32_t* __restrict next = rows_[1];
    std::int32_t* __restrict after = rows_[2];
    std::uint8_t* __restrict marks = marks_[0].data();
    switch (dither) {
      case Dither::kNone:
        for (std::int32_t u = 0; u < n; ++u)
          marks[u] = grey[u] < t ? 0xFF : 0;
        emit(row, marks);
        return;
      case Dither::kOrdered: {
        const auto& line = kBayer[static_cast<std::size_t>(row % 8)];
        std::array<std::int32_t, 8> limits{};
        for (std::size_t k = 0; k < 8; ++k)
          limits[k] = t + kWhite * (2 * line[k] + 1) / 128 - kWhite / 2;
        for (std::int32_t u = 0; u < n; ++u)
          marks[u] = grey[u] < limits[static_cast<std::size_t>(u % 8)] ? 0xFF : 0;
        emit(row, marks);
        return;
      }
      case Dither::kFloydSteinberg:
        if (!pending_) {
          AddGrey(cur, grey);
          pending_ = true;
          return;
        }
        FloydSteinbergPair(t, grey);
        pending_ = false;
        emit(row - 1, marks_[0].data());
        emit(row, marks_[1].data());
        // Row + 1's errors are in the third row; the other two are written before read.
        rows_ = {after, cur, next};
        return;
      case Dither::kAtkinson: {
        // Each pixel gets e / 8 of the two before it in the row; the next row's entry u - 1
        // the errors of u - 2, u - 1 and u; the row after's entry u that of u alone.
        std::int32_t e1 = 0, e2 = 0;  // the errors of u - 1 and u - 2
        for (std::int32_t u = 0; u < n; ++u) {
          const std::int32_t v = grey[u] + cur[u] + e1 + e2;
          const std::int32_t dark = (v - t) >> 31;
          const std::int32_t full = v - kWhite + (kWhite & dark);
          // Division by 8 rounded toward zero: a negative error is raised by 7 first.
          const std::int32_t e = (full + ((full >> 31) & 7)) >> 3;
          next[u - 1] += e + e1 + e2;
          after[u] = e;
          e2 = e1;
          e1 = e;
          marks[u] = static_cast<std::uint8_t>(dark);
        }
        next[n - 1] += e1 + e2;
        emit(row, marks);
        // The next row's errors move up; the row after's entries are all written before
        // they are read. Shares that fell beyond the window's edges are dropped.
        rows_ = {next, after, cur};
        for (std::int32_t* r : {rows_[0], rows_[1]}) {
          r[-2] = r[-1] = 0;
          r[n] = r[n + 1] = 0;
        }
        return;
      }
    }
  }

  // Tones a row still waiting for its pair, after the last row.
  template <typename Emit>
  void Finish(std::int32_t t, std::int32_t lastRow, Emit&& emit) noexcept {
    if (!pending_) return;
    FloydSteinbergStep step;
    for (std::int32_t u = 0; u < width_; ++u)
      step.Step(u, rows_[0], rows_[1], marks_[0].data(), t);
    pending_ = false;
    emit(lastRow, marks_[0].data());
  }

 private:
  // row[u] += grey[u] for the window's width: whole runs of kStep, then the rest.
  void AddGrey(std::int32_t* __restrict row, const std::uint16_t* __restrict grey) const noexcept {
    const std::size_t n = static_cast<std::size_t>(width_), whole = n / kStep * kStep;
    for (std::size_t u0 = 0; u0 < whole; u0 += kStep)
      for (std::size_t j = 0; j < kStep; ++j)
        row[u0 + j] += grey[u0 + j];
    for (std::size_t u = whole; u < n; ++u)
      row[u] += grey[u];
  }

  // Rows r (its grey levels already in rows_[0]) and r + 1 (`grey`), r + 1 three dots
  // behind r: its dot u needs r's share below-left of u + 1, final once r has done u + 1, and
  // r + 1's grey level added to it after that. Row r's errors for r + 1 go into rows_[1],
  // r + 1's for r + 2 into rows_[2].
  void FloydSteinbergPair(std::int32_t t, const std::uint16_t* __restrict grey) noexcept {
    const std::int32_t n = width_;
    std::int32_t* __restrict cur = rows_[0];
    std::int32_t* __restrict mid = rows_[1];
    std::int32_t* __restrict next = rows_[2];
    std::uint8_t* __restrict first = marks_[0].data();
    std::uint8_t* __restrict second = marks_[1].data();
    FloydSteinbergStep upper, lower;
    std::int32_t u = 0;
    for (; u < n && u < 3; ++u) {
      upper.Step(u, cur, mid, first, t);
      if (u >= 1) mid[u - 1] += grey[u - 1];
    }
    for (; u < n; ++u) {
      upper.Step(u, cur, mid, first, t);
      mid[u - 1] += grey[u - 1];
      lower.Step(u - 3, mid, next, second, t);
    }
    mid[n - 1] = upper.belowLeft + grey[n - 1];
    for (std::int32_t v = std::max(0, n - 3); v < n; ++v)
      lower.Step(v, mid, next, second, t);
    next[n - 1] = lower.belowLeft;
  }

  std::int32_t width_ = 0;
  HeapArray<std::int32_t> errors_;
  std::array<std::int32_t*, 3> rows_{};
  std::array<HeapArray<std::uint8_t>, 2> marks_;
  bool pending_ = false;  // Floyd-Steinberg: rows_[0] holds a row waiting for its pair
};

// Stores the dots of window rows into the record's column-major raster, turned. Unturned
// and half-turned rows are gathered 8 at a time into a band, so that each column receives
// a whole byte, and 8 bands into a block, so that each column's bytes are stored together;
// a quarter-turned row is one column of the image.
class Placer {
 public:
  static constexpr std::int32_t kBandsPerBlock = 8;

  Placer(std::uint8_t* raster, const NvCrop& crop, int rotate) noexcept
      : raster_(raster), crop_(crop), rotate_(rotate) {}

  bool Allocate() noexcept {
    const std::size_t w = static_cast<std::size_t>(crop_.w);
    auto band = HeapArray<std::uint8_t>::Allocate(Padded(crop_.w));
    auto block = HeapArray<std::uint8_t>::Allocate(w * kBandsPerBlock);
    if (!band || !block) return false;
    band_ = std::move(*band);
    block_ = std::move(*block);
    return true;
  }

  // `marks` as Toner::Row leaves them, 0xFF for a dark dot and 0 for a light one, in a
  // buffer of Padded(n) entries.
  void Row(std::int32_t i, const std::uint8_t* __restrict marks, std::int32_t n) noexcept {
    const std::size_t y = static_cast<std::size_t>(crop_.y);
    if (rotate_ == 90 || rotate_ == 270) {
      const std::int32_t column = rotate_ == 90 ? crop_.w - 1 - i : i;
      std::uint8_t* bytes = raster_ + static_cast<std::size_t>(column) * y;
      for (std::int32_t u = 0; u < n; ++u) {
        const std::int32_t down = rotate_ == 90 ? u : crop_.h - 1 - u;
        bytes[down >> 3] =
            static_cast<std::uint8_t>(bytes[down >> 3] | (marks[u] & (0x80u >> (down & 7))));
      }
      return;
    }
    const std::int32_t down = rotate_ == 0 ? i : crop_.h - 1 - i;
    if (down / 8 != group_) {
      StoreBand();
      group_ = down / 8;
    }
    const auto bit = static_cast<std::uint8_t>(0x80u >> (down & 7));
    std::uint8_t* __restrict band = band_.data();
    if (rotate_ == 0) {
      for (std::size_t u0 = 0; u0 < Padded(n); u0 += kStep)
        for (std::size_t j = 0; j < kStep; ++j)
          band[u0 + j] = static_cast<std::uint8_t>(band[u0 + j] | (marks[u0 + j] & bit));
    } else {
      for (std::int32_t u = 0; u < n; ++u)
        band[n - 1 - u] = static_cast<std::uint8_t>(band[n - 1 - u] | (marks[u] & bit));
    }
  }

  // Stores what is gathered; after the last row.
  void Flush() noexcept {
    StoreBand();
    StoreBlock();
  }

 private:
  // The band of group_ goes into its place in the block, which is stored first when it
  // is another block's.
  void StoreBand() noexcept {
    if (group_ < 0) return;
    if (group_ / kBandsPerBlock != blockIndex_) {
      StoreBlock();
      blockIndex_ = group_ / kBandsPerBlock;
    }
    std::uint8_t* __restrict band = band_.data();
    std::uint8_t* __restrict gathered = block_.data() + group_ % kBandsPerBlock;
    for (std::size_t c = 0; c < static_cast<std::size_t>(crop_.w); ++c)
      gathered[c * kBandsPerBlock] = band[c];
    std::memset(band, 0, band_.size());
    group_ = -1;
  }

  // Every group of a block is stored once: rows come in one direction, and a block's groups
  // are all below the crop's height but in the last block.
  void StoreBlock() noexcept {
    if (blockIndex_ < 0) return;
    const std::size_t y = static_cast<std::size_t>(crop_.y);
    const std::size_t first = static_cast<std::size_t>(blockIndex_) * kBandsPerBlock;
    const std::size_t bands = std::min<std::size_t>(kBandsPerBlock, y - first);
    const std::uint8_t* __restrict gathered = block_.data();
    std::uint8_t* __restrict column = raster_ + first;
    for (std::size_t c = 0; c < static_cast<std::size_t>(crop_.w); ++c)
      std::memcpy(column + c * y, gathered + c * kBandsPerBlock, bands);
    blockIndex_ = -1;
  }

  std::uint8_t* raster_;
  NvCrop crop_;
  int rotate_;
  HeapArray<std::uint8_t> band_;
  HeapArray<std::uint8_t> block_;
  std::int32_t group_ = -1;       // the group of 8 rows in band_
  std::int32_t blockIndex_ = -1;  // the run of kBandsPerBlock groups in block_
};

// Area averaging: each dot of the scaled picture is the mean of the source pixels under
// it, weighted by how much of each it covers. In units where a source pixel is `to` wide
// and a scaled one `from`, every overlap is a whole number, so the mean is exact until it
// is rounded once at the end.
class Scaler {
 public:
  bool Allocate(std::int32_t from, std::int32_t to, std::int32_t fromRows,
                std::int32_t toRows) noexcept {
    from_ = from;
    to_ = to;
    fromRows_ = fromRows;
    toRows_ = toRows;
    auto sums = HeapArray<std::uint64_t>::Allocate(static_cast<std::size_t>(to));
    auto totals = HeapArray<std::uint64_t>::Allocate(static_cast<std::size_t>(to));
    if (!sums || !totals) return false;
    rowSums_ = std::move(*sums);
    totals_ = std::move(*totals);
    return true;
  }

  // Adds source row `row` (grey levels of all `from` columns); calls emit(k, grey) for each
  // scaled row k it completes.
  template <typename Emit>
  bool AddRow(std::int32_t row, const std::uint16_t* grey, std::uint16_t* scaled, Emit&& emit) {
    std::fill(rowSums_.data(), rowSums_.data() + to_, 0);
    std::int64_t j = 0;
    for (std::int64_t i = 0; i < from_; ++i) {
      std::int64_t a = i * to_;
      const std::int64_t b = a + to_;
      while (a < b) {
        const std::int64_t end = std::min(b, (j + 1) * from_);
        rowSums_[static_cast<std::size_t>(j)] +=
            static_cast<std::uint64_t>(end - a) * static_cast<std::uint64_t>(grey[i]);
        a = end;
        if (end == (j + 1) * from_) ++j;
      }
    }
    const std::uint64_t whole =
        static_cast<std::uint64_t>(from_) * static_cast<std::uint64_t>(fromRows_);
    std::int64_t a = static_cast<std::int64_t>(row) * toRows_;
    const std::int64_t b = a + toRows_;
    while (a < b) {
      const std::int64_t end = std::min(b, (next_ + 1) * static_cast<std::int64_t>(fromRows_));
      const auto share = static_cast<std::uint64_t>(end - a);
      for (std::int32_t c = 0; c < to_; ++c)
        totals_[static_cast<std::size_t>(c)] += share * rowSums_[static_cast<std::size_t>(c)];
      a = end;
      if (end == (next_ + 1) * static_cast<std::int64_t>(fromRows_)) {
        for (std::int32_t c = 0; c < to_; ++c) {
          scaled[c] = static_cast<std::uint16_t>(
              (totals_[static_cast<std::size_t>(c)] + whole / 2) / whole);
          totals_[static_cast<std::size_t>(c)] = 0;
        }
        if (!emit(next_, scaled)) return false;
        ++next_;
      }
    }
    return true;
  }

 private:
  std::int32_t from_ = 0, to_ = 0, fromRows_ = 0, toRows_ = 0;
  std::int32_t next_ = 0;  // the scaled row being summed
  HeapArray<std::uint64_t> rowSums_;
  HeapArray<std::uint64_t> totals_;
};

void GreyLevels(const Colour* colours, std::uint16_t* grey, std::int32_t n, bool invert) noexcept {
  for (std::int32_t c = 0; c < n; ++c) {
    const Colour v = colours[c];
    const auto level = static_cast<std::int32_t>(30 * (v & 0xFFu) + 59 * ((v >> 8) & 0xFFu) +
                                                 11 * ((v >> 16) & 0xFFu));
    grey[c] = static_cast<std::uint16_t>(invert ? kWhite - level : level);
  }
}

}  // namespace

std::optional<RenditionPlan> PlanRendition(std::int32_t width, std::int32_t height,
                                           std::int32_t widthBytes,
                                           const ConversionOptions& options) noexcept {
  if (width <= 0 || height <= 0 || !options.IsValid()) return std::nullopt;
  const bool turned = options.rotate == 90 || options.rotate == 270;
  const std::int32_t uprightWidth = turned ? height : width;
  const std::int32_t uprightHeight = turned ? width : height;
  std::int32_t fitWidth = uprightWidth, fitHeight = uprightHeight;
  if (options.fit) {
    const std::int32_t printWidth =
        widthBytes >= 1 && widthBytes <= kNvMaxWidthDots / 8 ? widthBytes * 8 : kNvMaxWidthDots;
    if (std::int64_t{uprightHeight} * printWidth <= std::int64_t{kNvMaxRows} * uprightWidth) {
      fitWidth = printWidth;
      fitHeight = RoundedRatio(uprightHeight, printWidth, uprightWidth);
    } else {
      fitHeight = kNvMaxRows;
      fitWidth = RoundedRatio(uprightWidth, kNvMaxRows, uprightHeight);
    }
  }
  const auto crop = NvCropFor(fitWidth, fitHeight, widthBytes);
  if (!crop) return std::nullopt;
  RenditionPlan plan;
  plan.crop = *crop;
  plan.scaledWidth = turned ? fitHeight : fitWidth;
  plan.scaledHeight = turned ? fitWidth : fitHeight;
  const std::int32_t ws = plan.scaledWidth, hs = plan.scaledHeight, w = crop->w, h = crop->h;
  switch (options.rotate) {
    case 90:
      plan.x0 = 0, plan.x1 = h, plan.y0 = hs - w, plan.y1 = hs;
      break;
    case 180:
      plan.x0 = ws - w, plan.x1 = ws, plan.y0 = hs - h, plan.y1 = hs;
      break;
    case 270:
      plan.x0 = ws - h, plan.x1 = ws, plan.y0 = 0, plan.y1 = w;
      break;
    default:
      plan.x0 = 0, plan.x1 = w, plan.y0 = 0, plan.y1 = h;
      break;
  }
  if (options.fit) {
    plan.columns = width, plan.top = 0, plan.bottom = height;
  } else {
    plan.columns = plan.x1, plan.top = plan.y0, plan.bottom = plan.y1;
  }
  return plan;
}

NvConversion ConvertWithOptions(PixelSource& source, std::int32_t widthBytes,
                                const ConversionOptions& options) noexcept {
  if (options.IsDefault()) return ConvertPixels(source, widthBytes);
  const auto plan = PlanRendition(source.Width(), source.Height(), widthBytes, options);
  if (!plan) return {std::nullopt, PictureError::kBadDimensions};
  if (plan->columns > kMaxDecodedWidth) return {std::nullopt, PictureError::kTooWide};
  // The area sums must fit 64 bits: width x height x 25500.
  if (options.fit && std::uint64_t(plan->columns) * std::uint64_t(plan->bottom) > (1ull << 44))
    return {std::nullopt, PictureError::kTooLarge};

  const NvCrop& crop = plan->crop;
  const std::int32_t windowWidth = plan->x1 - plan->x0;
  const auto readWidth = static_cast<std::size_t>(plan->columns);
  auto record = ByteBlock::Allocate(crop.RecordSize());
  auto colours = HeapArray<Colour>::Allocate(readWidth);
  auto grey = HeapArray<std::uint16_t>::Allocate(readWidth);
  auto scaled = HeapArray<std::uint16_t>::Allocate(static_cast<std::size_t>(plan->scaledWidth));
  Toner toner;
  if (!record || !colours || !grey || !scaled || !toner.Allocate(windowWidth))
    return {std::nullopt, PictureError::kOutOfMemory};
  std::uint8_t* out = record->data();
  out[0] = static_cast<std::uint8_t>(crop.x % 256);
  out[1] = static_cast<std::uint8_t>(crop.x / 256);
  out[2] = static_cast<std::uint8_t>(crop.y % 256);
  out[3] = static_cast<std::uint8_t>(crop.y / 256);
  Placer placer(out + 4, crop, options.rotate);
  if (!placer.Allocate()) return {std::nullopt, PictureError::kOutOfMemory};

  if (auto e = source.PrepareWindow(plan->top, plan->bottom - plan->top, plan->columns);
      e != PictureError::kNone)
    return {std::nullopt, e};
  const std::int32_t threshold = options.threshold * 100;
  // One row of the scaled picture, row k of the window: its dots, stored.
  const auto place = [&](std::int32_t k, const std::uint8_t* marks) {
    placer.Row(k, marks, windowWidth);
  };
  const auto tone = [&](std::int32_t k, const std::uint16_t* levels) {
    toner.Row(options.dither, threshold, levels + plan->x0, k, place);
    return true;
  };
  Scaler scaler;
  if (options.fit &&
      !scaler.Allocate(plan->columns, plan->scaledWidth, plan->bottom, plan->scaledHeight))
    return {std::nullopt, PictureError::kOutOfMemory};
  const std::span<Colour> row = colours->span();
  const bool greyRows = source.HasGreyRows();
  for (std::int32_t r = plan->top; r < plan->bottom; ++r) {
    if (greyRows) {
      if (auto e = source.ReadGreyRow(r, grey->span()); e != PictureError::kNone)
        return {std::nullopt, e};
      if (options.invert)
        for (std::uint16_t& level : grey->span())
          level = static_cast<std::uint16_t>(kWhite - level);
    } else {
      if (auto e = source.ReadRow(r, row); e != PictureError::kNone) return {std::nullopt, e};
      GreyLevels(row.data(), grey->data(), plan->columns, options.invert);
    }
    if (options.fit) {
      scaler.AddRow(r, grey->data(), scaled->data(), tone);
    } else {
      tone(r - plan->top, grey->data());
    }
  }
  toner.Finish(threshold, plan->y1 - plan->y0 - 1, place);
  placer.Flush();
  return {std::move(record), PictureError::kNone};
}

}  // namespace quillmark
