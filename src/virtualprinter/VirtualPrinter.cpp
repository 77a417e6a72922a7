#include "virtualprinter/VirtualPrinter.h"

#include <algorithm>
#include <cstring>

#include "virtualprinter/BitmapFont.h"

namespace quillmark {
namespace {

constexpr std::uint8_t kNul = 0x00;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kFs = 0x1C;
constexpr int kMinWidthDots = 8;
constexpr int kMaxWidthDots = 8 * kMaxNvImageWidthUnits;

VirtualPrinterConfig Sanitized(VirtualPrinterConfig config) noexcept {
  config.widthDots = std::clamp(config.widthDots, kMinWidthDots, kMaxWidthDots);
  config.maxPaperRows = std::max(config.maxPaperRows, 0);
  return config;
}

// The scale factors of FS p's m: bit 0 doubles the width, bit 1 the height; 48 to 51 are
// the same modes written as ASCII digits. Empty for any other m.
std::optional<int> PrintModeOf(std::uint8_t m) noexcept {
  if (m <= 3) return m;
  if (m >= '0' && m <= '3') return m - '0';
  return std::nullopt;
}

const char* ModeName(int mode) noexcept {
  switch (mode) {
    case 0:
      return "normal";
    case 1:
      return "double width";
    case 2:
      return "double height";
    case 3:
      return "quadruple";
    default:
      return "unknown mode";
  }
}

std::string Dots(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height) + " dots";
}

// Transposes an 8 x 8 block of dots: in[j] holds dot column j, top dot in bit 7; out[k] is
// dot row k, leftmost dot in bit 7. Three rounds of swapping ever larger sub-blocks across
// the diagonal, on all 64 bits at once.
std::array<std::uint8_t, 8> Transpose8(const std::array<std::uint8_t, 8>& in) noexcept {
  std::uint64_t x = 0;
  for (std::uint8_t byte : in)
    x = x << 8 | byte;
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x ^= t ^ (t << 28);
  std::array<std::uint8_t, 8> out{};
  for (int k = 7; k >= 0; --k, x >>= 8)
    out[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(x);
  return out;
}

// Each bit of a byte doubled: the 8 dots of a row byte drawn double width.
constexpr std::array<std::uint16_t, 256> MakeDoubled() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned v = 0; v < 256; ++v)
    for (unsigned bit = 0; bit < 8; ++bit)
      if ((v >> bit & 1U) != 0) table[v] = static_cast<std::uint16_t>(table[v] | 3U << (2 * bit));
  return table;
}
constexpr std::array<std::uint16_t, 256> kDoubled = MakeDoubled();

// Draws `image` from row `top` of the paper, its dots sx by sy paper dots, at most `rows`
// rows, cut at the paper's width. The column-major raster is turned into paper rows eight
// columns by eight rows at a time.
void DrawImage(Paper& paper, int top, int rows, const NvImageView& image, int sx, int sy) noexcept {
  const std::size_t rowBytes = paper.rowBytes();
  const int spare = paper.width() % 8;
  const auto lastMask = static_cast<std::uint8_t>(spare == 0 ? 0xFFU : 0xFFU << (8 - spare));
  auto put = [&](std::uint8_t* out, std::size_t index, std::uint8_t dots) {
    if (index < rowBytes) out[index] |= index + 1 == rowBytes ? dots & lastMask : dots;
  };
  const auto heightUnits = static_cast<std::size_t>(image.heightUnits);
  const auto groupBytes = static_cast<std::size_t>(sx);  // paper bytes one group of 8 makes
  // Only the column groups that land on the paper are read.
  const std::size_t groups = std::min(static_cast<std::size_t>(image.widthUnits),
                                      (rowBytes + groupBytes - 1) / groupBytes);
  for (std::size_t g = 0; g < heightUnits; ++g) {
    const int firstRow = 8 * static_cast<int>(g) * sy;
    if (firstRow >= rows) break;
    for (std::size_t group = 0; group < groups; ++group) {
      std::array<std::uint8_t, 8> columns{};
      std::uint8_t any = 0;
      for (std::size_t j = 0; j < 8; ++j) {
        columns[j] = image.raster[(8 * group + j) * heightUnits + g];
        any |= columns[j];
      }
      if (any == 0) continue;
      const std::array<std::uint8_t, 8> dotRows = Transpose8(columns);
      for (int k = 0; k < 8; ++k) {
        const std::uint8_t dots = dotRows[static_cast<std::size_t>(k)];
        if (dots == 0) continue;
        for (int dy = 0; dy < sy; ++dy) {
          const int row = firstRow + k * sy + dy;
          if (row >= rows) break;
          std::uint8_t* out = paper.MutableRow(top + row).data();
          if (sx == 1) {
            put(out, group, dots);
          } else {
            const std::uint16_t wide = kDoubled[dots];
            put(out, 2 * group, static_cast<std::uint8_t>(wide >> 8));
            put(out, 2 * group + 1, static_cast<std::uint8_t>(wide));
          }
        }
      }
    }
  }
}

}  // namespace

VirtualPrinterConfig VirtualPrinterConfigFor(const PrinterModel& model) noexcept {
  VirtualPrinterConfig config;
  config.nvCapacity = model.nvCapacity;
  config.widthDots = model.widthBytes * 8;
  return config;
}

std::string DescribeEvent(const PrinterEvent& e) {
  std::string text = "byte " + std::to_string(e.offset) + ": ";
  const std::string image = "image " + std::to_string(e.image);
  switch (e.kind) {
    case PrinterEventKind::kImageStored:
      return text + image + " stored, " + Dots(e.widthDots, e.heightDots) + " (" +
             std::to_string(e.bytes) + " bytes)";
    case PrinterEventKind::kDefinitionIgnored:
      return text + "FS q ignored: its first image, " + Dots(e.widthDots, e.heightDots) + " (" +
             std::to_string(e.bytes) +
             " bytes), does not fit the NV memory; the images stored before are kept";
    case PrinterEventKind::kImagesNotStored:
      return text + image + ", " + Dots(e.widthDots, e.heightDots) + " (" +
             std::to_string(e.bytes) + " bytes), does not fit beside the images before it; " +
             (e.count == 0
                  ? "it stays undefined"
                  : "it and the " + std::to_string(e.count) + " image(s) after it stay undefined");
    case PrinterEventKind::kDefinitionEmpty:
      return text + "FS q with n = 0 ignored; the images stored before are kept";
    case PrinterEventKind::kRecordInvalid:
      return text + "record " + std::to_string(e.image) + " of FS q has an impossible size (" +
             Dots(e.widthDots, e.heightDots) +
             "); the command ends after its header and the bytes after it are read as data";
    case PrinterEventKind::kImagePrinted:
      return text + image + " printed " + ModeName(e.mode) + ", " +
             Dots(e.widthDots, e.heightDots) +
             (e.count != 0 ? ", " + std::to_string(e.count) + " dot columns beyond the print width"
                           : std::string());
    case PrinterEventKind::kImageUndefined:
      return text + "FS p: " + image + " is not defined; nothing printed";
    case PrinterEventKind::kPrintModeInvalid:
      return text + "FS p with m = " + std::to_string(e.mode) + " ignored";
    case PrinterEventKind::kBytesIgnored:
      return text + std::to_string(e.count) + " byte(s) ignored";
    case PrinterEventKind::kPaperEnd:
      return text + "paper end; nothing more is printed in this job";
    case PrinterEventKind::kOutOfMemory:
      return text + "out of memory; output lost";
    case PrinterEventKind::kIncompleteCommand:
      return text + "the input ended inside this command, at least " + std::to_string(e.count) +
             " byte(s) short; it is dropped";
  }
  return text + "unknown event";
}

VirtualPrinter::VirtualPrinter(const VirtualPrinterConfig& config) noexcept
    : config_(Sanitized(config)),
      paper_(config_.widthDots),
      charsPerLine_(std::max(1, config_.widthDots / kGlyphCellWidth)) {}

void VirtualPrinter::Feed(std::span<const std::uint8_t> bytes) noexcept {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (state_ == State::kRecordData) {
      // Raster bytes are taken as a block, never one at a time.
      const std::size_t take = std::min<std::size_t>(dataLeft_, bytes.size() - i);
      if (pending_) {
        std::memcpy(pending_->data() + pendingFill_, bytes.data() + i, take);
        pendingFill_ += static_cast<std::uint32_t>(take);
      }
      dataLeft_ -= static_cast<std::uint32_t>(take);
      i += take;
      offset_ += take;
      if (dataLeft_ == 0) FinishRecord();
      continue;
    }
    Step(bytes[i]);
    ++i;
    ++offset_;
  }
}

void VirtualPrinter::Step(std::uint8_t byte) noexcept {
  switch (state_) {
    case State::kIdle:
      Dispatch(byte);
      return;
    case State::kEsc:
      if (byte == kFs) {
        state_ = State::kFs;
        return;
      }
      Ignore(commandStart_, 1);
      state_ = State::kIdle;
      Dispatch(byte);
      return;
    case State::kFs:
      if (byte == 'q') {
        state_ = State::kDefineCount;
      } else if (byte == 'p') {
        state_ = State::kPrintNumber;
      } else {
        Ignore(commandStart_, offset_ - commandStart_);
        state_ = State::kIdle;
        Dispatch(byte);
      }
      return;
    case State::kDefineCount:
      BeginDefinition(byte);
      return;
    case State::kRecordHeader:
      if (headerFill_ == 0) recordStart_ = offset_;
      header_[static_cast<std::size_t>(headerFill_++)] = byte;
      if (headerFill_ == 4) FinishRecordHeader();
      return;
    case State::kRecordData:  // taken in blocks by Feed
      return;
    case State::kPrintNumber:
      printNumber_ = byte;
      state_ = State::kPrintMode;
      return;
    case State::kPrintMode:
      state_ = State::kIdle;
      PrintImage(printNumber_, byte);
      return;
  }
}

void VirtualPrinter::Dispatch(std::uint8_t byte) noexcept {
  if (byte >= 0x20 && byte <= 0x7E) {
    PutChar(byte);
  } else if (byte == kLf) {
    LineFeed();
  } else if (byte == kEsc || byte == kFs) {
    commandStart_ = offset_;
    state_ = byte == kEsc ? State::kEsc : State::kFs;
  } else if (byte != kNul) {
    Ignore(offset_, 1);
  }
}

void VirtualPrinter::BeginDefinition(std::uint8_t count) noexcept {
  recordCount_ = count;
  recordNumber_ = 0;
  headerFill_ = 0;
  if (count == 0) {
    Log({.kind = PrinterEventKind::kDefinitionEmpty, .offset = commandStart_});
    state_ = State::kIdle;
    return;
  }
  state_ = State::kRecordHeader;
}

void VirtualPrinter::FinishRecordHeader() noexcept {
  const int x = header_[0] | header_[1] << 8;
  const int y = header_[2] | header_[3] << 8;
  ++recordNumber_;
  if (!IsValidNvImageSize(x, y)) {
    Log({.kind = PrinterEventKind::kRecordInvalid,
         .offset = recordStart_,
         .image = recordNumber_,
         .widthDots = 8 * x,
         .heightDots = 8 * y});
    state_ = State::kIdle;
    return;
  }
  const std::uint32_t size = NvRecordSize(x, y);
  if (recordNumber_ == 1) {
    // The first image decides whether the command replaces the memory at all.
    if (size > config_.nvCapacity) {
      Log({.kind = PrinterEventKind::kDefinitionIgnored,
           .offset = commandStart_,
           .image = 1,
           .widthDots = 8 * x,
           .heightDots = 8 * y,
           .bytes = size});
      definition_ = Definition::kSkipping;
    } else {
      nv_.Clear();
      definition_ = Definition::kStoring;
    }
  }
  if (definition_ == Definition::kStoring) {
    if (static_cast<std::uint64_t>(nv_.bytesUsed()) + size > config_.nvCapacity) {
      Log({.kind = PrinterEventKind::kImagesNotStored,
           .offset = recordStart_,
           .image = recordNumber_,
           .widthDots = 8 * x,
           .heightDots = 8 * y,
           .count = static_cast<std::uint64_t>(recordCount_ - recordNumber_),
           .bytes = size});
      definition_ = Definition::kSkipping;
    } else if ((pending_ = ByteBlock::Allocate(size))) {
      std::memcpy(pending_->data(), header_.data(), header_.size());
      pendingFill_ = 4;
    } else {
      Log({.kind = PrinterEventKind::kOutOfMemory, .offset = recordStart_, .image = recordNumber_});
      definition_ = Definition::kSkipping;
    }
  }
  dataLeft_ = size - 4;
  state_ = State::kRecordData;
}

void VirtualPrinter::FinishRecord() noexcept {
  if (pending_) {
    const std::uint32_t size = pending_->size();
    nv_.Append(std::move(*pending_));
    pending_.reset();
    Log({.kind = PrinterEventKind::kImageStored,
         .offset = recordStart_,
         .image = recordNumber_,
         .widthDots = 8 * (header_[0] | header_[1] << 8),
         .heightDots = 8 * (header_[2] | header_[3] << 8),
         .bytes = size});
  }
  if (recordNumber_ >= recordCount_) {
    state_ = State::kIdle;
  } else {
    headerFill_ = 0;
    state_ = State::kRecordHeader;
  }
}

void VirtualPrinter::PrintImage(int number, std::uint8_t m) noexcept {
  const std::optional<int> mode = PrintModeOf(m);
  if (!mode) {
    Log({.kind = PrinterEventKind::kPrintModeInvalid, .offset = commandStart_, .mode = m});
    return;
  }
  const std::optional<NvImageView> image = nv_.Image(number);
  if (!image) {
    Log({.kind = PrinterEventKind::kImageUndefined, .offset = commandStart_, .image = number});
    return;
  }
  if (lineLength_ > 0) PrintLine();

  const int sx = (*mode & 1) != 0 ? 2 : 1;
  const int sy = (*mode & 2) != 0 ? 2 : 1;
  const int width = paper_.width();
  const int top = paper_.height();
  const int rows = FeedPaper(image->heightDots() * sy);
  DrawImage(paper_, top, rows, *image, sx, sy);
  const int fullWidth = image->widthDots() * sx;
  Log({.kind = PrinterEventKind::kImagePrinted,
       .offset = commandStart_,
       .image = number,
       .widthDots = std::min(fullWidth, width),
       .heightDots = rows,
       .mode = *mode,
       .count = static_cast<std::uint64_t>(std::max(0, fullWidth - width))});
}

void VirtualPrinter::PutChar(std::uint8_t c) noexcept {
  if (lineLength_ >= charsPerLine_) PrintLine();
  line_[static_cast<std::size_t>(lineLength_++)] = c;
}

void VirtualPrinter::LineFeed() noexcept {
  if (lineLength_ > 0) {
    PrintLine();
  } else {
    FeedPaper(kGlyphCellHeight);
  }
}

void VirtualPrinter::PrintLine() noexcept {
  const int top = paper_.height();
  if (FeedPaper(kGlyphCellHeight) > 0) {
    for (int i = 0; i < lineLength_; ++i)
      DrawGlyph(paper_, line_[static_cast<std::size_t>(i)], i * kGlyphCellWidth, top);
  }
  lineLength_ = 0;
}

int VirtualPrinter::FeedPaper(int rows) noexcept {
  if (paperEnd_) return 0;
  const int room = config_.maxPaperRows - paper_.height();
  const int take = std::min(rows, room);
  if (take > 0 && !paper_.Feed(take)) {
    Log({.kind = PrinterEventKind::kOutOfMemory, .offset = offset_});
    paperEnd_ = true;
    return 0;
  }
  if (take < rows) {
    Log({.kind = PrinterEventKind::kPaperEnd, .offset = offset_});
    paperEnd_ = true;
  }
  return take;
}

void VirtualPrinter::EndJob() noexcept {
  std::uint64_t missing = 0;
  switch (state_) {
    case State::kIdle:
      break;
    case State::kEsc:
    case State::kFs:
      // A prefix with nothing after it is just an ignored byte or two.
      Ignore(commandStart_, offset_ - commandStart_);
      break;
    case State::kDefineCount:
      missing = 1;
      break;
    case State::kRecordHeader:
      missing = static_cast<std::uint64_t>(4 - headerFill_);
      break;
    case State::kRecordData:
      missing = dataLeft_;
      break;
    case State::kPrintNumber:
      missing = 2;
      break;
    case State::kPrintMode:
      missing = 1;
      break;
  }
  if (missing != 0) {
    Log({.kind = PrinterEventKind::kIncompleteCommand, .offset = commandStart_, .count = missing});
  }
  pending_.reset();
  state_ = State::kIdle;
  if (lineLength_ > 0) PrintLine();
}

Paper VirtualPrinter::TakePaper() noexcept {
  EndJob();
  Paper printed = std::move(paper_);
  paper_ = Paper(config_.widthDots);
  paperEnd_ = false;
  return printed;
}

void VirtualPrinter::ClearEvents() noexcept {
  events_.clear();
  droppedEvents_ = 0;
}

void VirtualPrinter::Ignore(std::uint64_t offset, std::uint64_t count) noexcept {
  bytesIgnored_ += count;
  if (!events_.empty()) {
    PrinterEvent& last = events_.back();
    if (last.kind == PrinterEventKind::kBytesIgnored && last.offset + last.count == offset) {
      last.count += count;  // one entry for a run of ignored bytes
      return;
    }
  }
  Log({.kind = PrinterEventKind::kBytesIgnored, .offset = offset, .count = count});
}

void VirtualPrinter::Log(const PrinterEvent& event) noexcept {
  // The log is bounded, so the few hundred kilobytes it can take are its whole cost.
  if (events_.size() < kMaxEvents) {
    events_.push_back(event);
  } else {
    ++droppedEvents_;
  }
}

}  // namespace quillmark
