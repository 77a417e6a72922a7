#include "virtualprinter/VirtualPrinter.h"

#include <algorithm>
#include <cstring>

#include "virtualprinter/BitmapFont.h"

namespace quillmark {
namespace {

constexpr std::uint32_t kEscFs = 0x1B1C;  // the ESC-prefixed form of FS q and FS p
constexpr int kDefaultLineSpacing = kGlyphCellHeight;
constexpr int kCutRows = 16;            // the paper a cut line takes
constexpr int kMaxGraphicsRows = 8192;  // of graphics kept for GS ( L 50 to print
constexpr std::uint64_t kMaxUntilNul = 255;

constexpr std::uint32_t Cmd(std::uint8_t prefix, char code) {
  return static_cast<std::uint32_t>(prefix) << 8 | static_cast<std::uint8_t>(code);
}
constexpr std::uint32_t Cmd(std::uint8_t prefix, char code, char sub) {
  return Cmd(prefix, code) << 8 | static_cast<std::uint8_t>(sub);
}
constexpr int kMinWidthDots = 8;

VirtualPrinterConfig Sanitized(VirtualPrinterConfig config) noexcept {
  config.widthDots = std::clamp(config.widthDots, kMinWidthDots, kNvMaxWidthDots);
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

// ORs the 8 dots of `dots` (leftmost in bit 7) into `row` from dot x; dots at or beyond
// `width` are dropped.
void OrDots(std::span<std::uint8_t> row, int width, int x, std::uint8_t dots) noexcept {
  if (dots == 0 || x < 0 || x >= width) return;
  const auto i = static_cast<std::size_t>(x) / 8;
  const unsigned shift = static_cast<unsigned>(x) % 8;
  row[i] = static_cast<std::uint8_t>(row[i] | dots >> shift);
  if (shift != 0 && i + 1 < row.size())
    row[i + 1] = static_cast<std::uint8_t>(row[i + 1] | dots << (8 - shift));
  if (i + 2 >= row.size() && width % 8 != 0)  // the last byte's spare bits stay white
    row.back() = static_cast<std::uint8_t>(row.back() & (0xFFU << (8 - width % 8)));
}

// ORs 8 dots drawn `sx` (1 or 2) dots wide each.
void OrScaled(std::span<std::uint8_t> row, int width, int x, std::uint8_t dots, int sx) noexcept {
  if (sx == 1) {
    OrDots(row, width, x, dots);
  } else {
    const std::uint16_t wide = kDoubled[dots];
    OrDots(row, width, x, static_cast<std::uint8_t>(wide >> 8));
    OrDots(row, width, x + 8, static_cast<std::uint8_t>(wide));
  }
}

// Draws `image` from row `top` of the paper and dot `left`, its dots sx by sy paper dots,
// at most `rows` rows, cut at the paper's width. The column-major raster is turned into
// paper rows eight columns by eight rows at a time.
void DrawImage(Paper& paper, int top, int rows, int left, const NvImageView& image, int sx,
               int sy) noexcept {
  // At a whole byte, as most images are, the dots go in by bytes.
  const std::size_t rowBytes = paper.rowBytes();
  const int spare = paper.width() % 8;
  const auto lastMask = static_cast<std::uint8_t>(spare == 0 ? 0xFFU : 0xFFU << (8 - spare));
  auto put = [&](std::uint8_t* out, std::size_t index, std::uint8_t dots) {
    if (index < rowBytes) out[index] |= index + 1 == rowBytes ? dots & lastMask : dots;
  };
  const bool aligned = left % 8 == 0;
  const auto heightUnits = static_cast<std::size_t>(image.heightUnits);
  // Only the column groups that land on the paper are read.
  const std::size_t groups =
      std::min(static_cast<std::size_t>(image.widthUnits),
               static_cast<std::size_t>((paper.width() - left + 8 * sx - 1) / (8 * sx)));
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
      const int x = left + 8 * sx * static_cast<int>(group);
      for (int k = 0; k < 8; ++k) {
        const std::uint8_t dots = dotRows[static_cast<std::size_t>(k)];
        if (dots == 0) continue;
        for (int dy = 0; dy < sy; ++dy) {
          const int row = firstRow + k * sy + dy;
          if (row >= rows) break;
          if (!aligned) {
            OrScaled(paper.MutableRow(top + row), paper.width(), x, dots, sx);
          } else if (std::uint8_t* out = paper.MutableRow(top + row).data(); sx == 1) {
            put(out, static_cast<std::size_t>(x / 8), dots);
          } else {
            const std::uint16_t wide = kDoubled[dots];
            put(out, static_cast<std::size_t>(x / 8), static_cast<std::uint8_t>(wide >> 8));
            put(out, static_cast<std::size_t>(x / 8) + 1, static_cast<std::uint8_t>(wide));
          }
        }
      }
    }
  }
}

// The rough size of a QR code holding `bytes` (byte mode, error level M), in modules.
int QrModules(std::uint64_t bytes) noexcept {
  constexpr std::array<std::uint64_t, 10> kCapacity = {14, 26, 42, 62, 84, 106, 122, 152, 180, 213};
  int version = 1;
  while (version <= 10 && bytes > kCapacity[static_cast<std::size_t>(version - 1)])
    ++version;
  if (version > 10)
    version = static_cast<int>(std::min<std::uint64_t>(40, 10 + (bytes - 213) / 40 + 1));
  return 17 + 4 * version;
}

const char* const kPlaceholderLabels[] = {"BARCODE", "QR CODE", "PDF417", "2D CODE"};

}  // namespace

VirtualPrinterConfig VirtualPrinterConfigFor(const PrinterModel& model) noexcept {
  VirtualPrinterConfig config;
  config.nvCapacity = model.nvCapacity;
  config.widthDots = model.widthBytes * 8;
  return config;
}

std::string CommandName(std::uint32_t command) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<std::uint8_t>(command >> shift);
    if (name.empty() && byte == 0) continue;
    if (!name.empty()) name += ' ';
    switch (byte) {
      case kDle:
        name += "DLE";
        break;
      case kEsc:
        name += "ESC";
        break;
      case kFs:
        name += "FS";
        break;
      case kGs:
        name += "GS";
        break;
      case ' ':
        name += "SP";
        break;
      default:
        if (byte > ' ' && byte < 0x7F) {
          name += static_cast<char>(byte);
        } else {
          name += "0123456789ABCDEF"[byte >> 4];
          name += "0123456789ABCDEF"[byte & 15];
        }
    }
  }
  return name;
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
    case PrinterEventKind::kCommandSkipped:
      return text + CommandName(e.command) + " skipped (" + std::to_string(e.count) + " bytes)";
    case PrinterEventKind::kGraphicsPrinted:
      return text + CommandName(e.command) + ": image printed, " + Dots(e.widthDots, e.heightDots) +
             (e.count != 0 ? ", " + std::to_string(e.count) + " dot columns beyond the print width"
                           : std::string());
    case PrinterEventKind::kPlaceholderPrinted:
      return text + CommandName(e.command) + ": " + kPlaceholderLabels[std::clamp(e.mode, 0, 3)] +
             " printed as a box of " + Dots(e.widthDots, e.heightDots);
    case PrinterEventKind::kPaperCut:
      return text + CommandName(e.command) + ": paper cut" + (e.mode != 0 ? " (partial)" : "");
  }
  return text + "unknown event";
}

VirtualPrinter::VirtualPrinter(const VirtualPrinterConfig& config) noexcept
    : config_(Sanitized(config)),
      paper_(config_.widthDots),
      line_(config_.widthDots),
      graphics_(1) {
  // Without the memory for the line, text is not drawn; the paper still feeds.
  (void)line_.Feed(kMaxLineHeight);
}

void VirtualPrinter::Feed(std::span<const std::uint8_t> bytes) noexcept {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (state_ == State::kRecordData) {
      // Raster bytes are taken as a block, never one at a time.
      const std::size_t take = std::min<std::size_t>(recordLeft_, bytes.size() - i);
      if (pending_) {
        std::memcpy(pending_->data() + pendingFill_, bytes.data() + i, take);
        pendingFill_ += static_cast<std::uint32_t>(take);
      }
      recordLeft_ -= static_cast<std::uint32_t>(take);
      i += take;
      offset_ += take;
      if (recordLeft_ == 0) FinishRecord();
      continue;
    }
    if (state_ == State::kData && (sink_ == Sink::kSkip || sink_ == Sink::kCount)) {
      // So are bytes that are only counted.
      const auto take =
          static_cast<std::size_t>(std::min<std::uint64_t>(dataLeft_, bytes.size() - i));
      dataLeft_ -= take;
      dataSeen_ += take;
      i += take;
      offset_ += take;
      if (dataLeft_ == 0) {
        --offset_;  // DataDone sees the command's last byte as the one being read
        DataDone();
        ++offset_;
      }
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
    case State::kPrefix:
      BeginCommand(byte);
      return;
    case State::kParams:
      params_[static_cast<std::size_t>(paramCount_++)] = byte;
      if (paramCount_ == paramsWanted_) ParamsDone();
      return;
    case State::kData:
      --dataLeft_;
      DataByte(byte);
      ++dataSeen_;
      if (dataLeft_ == 0 && state_ == State::kData) DataDone();
      return;
    case State::kUntilNul:
      if (byte != kNul && command_ == Cmd(kEsc, 'D') && tabCount_ < kMaxTabs) {
        // Tab stops must rise; one that does not ends the list, as on a real printer.
        if (tabCount_ == 0 || byte > tabs_[static_cast<std::size_t>(tabCount_ - 1)])
          tabs_[static_cast<std::size_t>(tabCount_++)] = byte;
      }
      ++dataSeen_;
      if (byte == kNul || dataSeen_ >= kMaxUntilNul) DataDone();
      return;
    case State::kRecordHeader:
      if (headerFill_ == 0) recordStart_ = offset_;
      header_[static_cast<std::size_t>(headerFill_++)] = byte;
      if (headerFill_ == 4) FinishRecordHeader();
      return;
    case State::kRecordData:  // taken in blocks by Feed
      return;
  }
}

void VirtualPrinter::Dispatch(std::uint8_t byte) noexcept {
  if ((byte >= 0x20 && byte <= 0x7E) || byte >= 0x80) {
    PutChar(byte);
  } else if (byte == kLf) {
    PrintLine(lineSpacing_);
  } else if (byte == kHt) {
    Tab();
  } else if (byte == kEsc || byte == kFs || byte == kGs || byte == kDle) {
    commandStart_ = offset_;
    command_ = byte;
    state_ = State::kPrefix;
  } else if (byte != kNul && byte != kCr) {
    // CR only returns the carriage, which a line printer does at every line anyway.
    Ignore(offset_, 1);
  }
}

void VirtualPrinter::Unknown(std::uint8_t code) noexcept {
  Ignore(commandStart_, offset_ - commandStart_);
  state_ = State::kIdle;
  Dispatch(code);
}

void VirtualPrinter::BeginCommand(std::uint8_t code) noexcept {
  if (command_ == kEsc && code == kFs) {
    command_ = kEscFs;
    return;
  }
  if (command_ == kEscFs) {
    if (code != kDefineNvImages && code != kPrintNvImage) return Unknown(code);
    command_ = Cmd(kFs, static_cast<char>(code));
  } else {
    command_ = command_ << 8 | code;
  }
  phase_ = 0;
  switch (command_) {
    // Printing and feeding.
    case Cmd(kEsc, '@'):
      Initialize();
      return EndCommand();
    case Cmd(kEsc, '2'):
      lineSpacing_ = kDefaultLineSpacing;
      return EndCommand();
    case Cmd(kEsc, 'i'):
    case Cmd(kEsc, 'm'):
      Cut(true, 0);
      return EndCommand();
    case Cmd(kFs, '&'):  // double-byte characters: none are known, so single bytes stay
    case Cmd(kFs, '.'):
      return EndCommand();
    case Cmd(kEsc, '3'):
    case Cmd(kEsc, 'a'):
    case Cmd(kEsc, 'E'):
    case Cmd(kEsc, 'G'):
    case Cmd(kEsc, '-'):
    case Cmd(kEsc, '!'):
    case Cmd(kEsc, 'J'):
    case Cmd(kEsc, 'd'):
    case Cmd(kEsc, ' '):
    case Cmd(kEsc, 'M'):
    case Cmd(kEsc, 't'):
    case Cmd(kGs, '!'):
    case Cmd(kGs, 'B'):
    case Cmd(kGs, 'V'):
    case Cmd(kGs, 'H'):
    case Cmd(kGs, 'f'):
    case Cmd(kGs, 'h'):
    case Cmd(kGs, 'w'):
    case Cmd(kGs, 'k'):
    case Cmd(kFs, kDefineNvImages):
      return Params(1);
    case Cmd(kEsc, '$'):
    case Cmd(kEsc, '\\'):
    case Cmd(kFs, kPrintNvImage):
      return Params(2);
    case Cmd(kEsc, '*'):
    case Cmd(kEsc, '&'):
    case Cmd(kEsc, '('):
    case Cmd(kGs, '('):
    case Cmd(kFs, '('):
      return Params(3);
    case Cmd(kGs, '8'):
      return Params(5);
    case Cmd(kGs, 'v'):
      return Params(6);
    case Cmd(kEsc, 'D'):
      tabCount_ = 0;
      dataSeen_ = 0;
      state_ = State::kUntilNul;
      return;
    // Known, consumed with their parameters, not carried out.
    case Cmd(kEsc, 'L'):
    case Cmd(kEsc, 'S'):
    case Cmd(kEsc, 'v'):
    case Cmd(kEsc, 0x0C):
    case Cmd(kGs, ':'):
    case Cmd(kGs, 'c'):
      return Skipped();
    case Cmd(kEsc, '%'):
    case Cmd(kEsc, '4'):
    case Cmd(kEsc, '='):
    case Cmd(kEsc, '?'):
    case Cmd(kEsc, 'R'):
    case Cmd(kEsc, 'T'):
    case Cmd(kEsc, 'U'):
    case Cmd(kEsc, 'V'):
    case Cmd(kEsc, 'e'):
    case Cmd(kEsc, 'r'):
    case Cmd(kEsc, 'u'):
    case Cmd(kEsc, '{'):
    case Cmd(kGs, '/'):
    case Cmd(kGs, 'I'):
    case Cmd(kGs, 'T'):
    case Cmd(kGs, 'a'):
    case Cmd(kGs, 'b'):
    case Cmd(kGs, 'r'):
    case Cmd(kFs, '!'):
    case Cmd(kFs, '-'):
    case Cmd(kFs, 'C'):
    case Cmd(kFs, 'W'):
    case Cmd(kDle, 0x04):
    case Cmd(kDle, 0x05):
      skip_ = true;  // once the parameters are in
      return Params(1);
    case Cmd(kEsc, 'c'):
    case Cmd(kGs, '$'):
    case Cmd(kGs, '\\'):
    case Cmd(kGs, 'L'):
    case Cmd(kGs, 'P'):
    case Cmd(kGs, 'W'):
    case Cmd(kGs, '*'):
    case Cmd(kFs, '2'):
    case Cmd(kFs, '?'):
    case Cmd(kFs, 'S'):
      skip_ = true;
      return Params(2);
    case Cmd(kEsc, 'p'):
    case Cmd(kGs, '^'):
    case Cmd(kDle, 0x14):
      skip_ = true;
      return Params(3);
    case Cmd(kGs, 'g'):
      skip_ = true;
      return Params(4);
    case Cmd(kEsc, 'W'):
      skip_ = true;
      return Params(8);
    default:
      return Unknown(code);
  }
}

void VirtualPrinter::Params(int count) noexcept {
  paramCount_ = 0;
  paramsWanted_ = count;
  state_ = State::kParams;
}

void VirtualPrinter::Data(std::uint64_t count, Sink sink) noexcept {
  sink_ = sink;
  dataLeft_ = count;
  dataSeen_ = 0;
  state_ = State::kData;
  if (count == 0) DataDone();
}

void VirtualPrinter::EndCommand() noexcept {
  state_ = State::kIdle;
  phase_ = 0;
  skip_ = false;
}

void VirtualPrinter::Skipped() noexcept {
  Log({.kind = PrinterEventKind::kCommandSkipped,
       .offset = commandStart_,
       .count = offset_ + 1 - commandStart_,
       .command = command_});
  EndCommand();
}

void VirtualPrinter::ParamsDone() noexcept {
  const std::uint8_t n = params_[0];
  const int n16 = params_[0] | params_[1] << 8;
  if (skip_) {  // some carry data
    if (command_ == Cmd(kGs, '*')) return Data(8ULL * params_[0] * params_[1], Sink::kSkip);
    if (command_ == Cmd(kFs, '2')) return Data(72, Sink::kSkip);
    return Skipped();
  }
  switch (command_) {
    case Cmd(kEsc, '3'):
      lineSpacing_ = n;
      break;
    case Cmd(kEsc, 'a'):
      if (n % 48 <= 2 && n <= 50 && (n < 3 || n >= 48)) justification_ = n % 48;
      break;
    case Cmd(kEsc, 'E'):
      emphasis_ = (n & 1) != 0;
      break;
    case Cmd(kEsc, 'G'):
      doubleStrike_ = (n & 1) != 0;
      break;
    case Cmd(kEsc, '-'):
      if (n <= 2 || (n >= 48 && n <= 50)) underline_ = n % 48;
      break;
    case Cmd(kEsc, '!'):
      scaleX_ = (n & 0x20) != 0 ? 2 : 1;
      scaleY_ = (n & 0x10) != 0 ? 2 : 1;
      emphasis_ = (n & 0x08) != 0;
      underline_ = (n & 0x80) != 0 ? 1 : 0;
      if ((n & 1) != 0) return Skipped();  // font B: drawn in the one font there is
      break;
    case Cmd(kEsc, 'J'):
      PrintLine(n);
      break;
    case Cmd(kEsc, 'd'):
      PrintLine(n * lineSpacing_);
      break;
    case Cmd(kEsc, ' '):
      charSpacing_ = n;
      break;
    case Cmd(kEsc, 'M'):
      if (n != 0 && n != '0') return Skipped();  // as above
      break;
    case Cmd(kEsc, 't'):
      codePage_ = n;
      break;
    case Cmd(kEsc, '$'):
      if (n16 < paper_.width()) x_ = n16;
      break;
    case Cmd(kEsc, '\\'):
      if (const int x = x_ + static_cast<std::int16_t>(n16); x >= 0 && x < paper_.width()) x_ = x;
      break;
    case Cmd(kGs, '!'):
      scaleX_ = (n >> 4 & 7) + 1;
      scaleY_ = (n & 7) + 1;
      break;
    case Cmd(kGs, 'B'):
      reverse_ = (n & 1) != 0;
      break;
    case Cmd(kGs, 'H'):
    case Cmd(kGs, 'f'):  // the text under a barcode: placeholders have none
      break;
    case Cmd(kGs, 'h'):
      barcodeHeight_ = std::max<int>(n, 1);
      break;
    case Cmd(kGs, 'w'):
      barcodeModule_ = std::clamp<int>(n, 1, 6);
      break;
    case Cmd(kGs, 'V'):
      if (phase_ == 0 && (n == 65 || n == 66 || n == 97 || n == 98 || n == 103 || n == 104)) {
        phase_ = n;  // feed, then cut
        return Params(1);
      }
      if (phase_ != 0) {
        Cut(phase_ % 2 == 0, n);
      } else if (n <= 1 || n == 48 || n == 49) {
        Cut(n % 48 == 1, 0);
      } else {
        return Skipped();
      }
      break;
    case Cmd(kGs, 'k'):
      if (phase_ == 0 && n <= 6) {  // data up to a NUL
        phase_ = 1;
        dataSeen_ = 0;
        state_ = State::kUntilNul;
        return;
      }
      if (phase_ == 0) {  // a count first
        phase_ = 2;
        return Params(1);
      }
      return Data(n, Sink::kCount);
    case Cmd(kFs, 'q'):
      return BeginDefinition(n);
    case Cmd(kFs, 'p'):
      EndCommand();
      return PrintImage(params_[0], params_[1]);
    case Cmd(kEsc, '*'): {
      const std::uint8_t m = params_[0];
      const int columns = params_[1] | params_[2] << 8;
      imageScaleX_ = m == 0 || m == 32 ? 2 : 1;
      imageScaleY_ = m < 32 ? 3 : 1;
      imageRowBytes_ = m < 32 ? 1 : 3;  // bytes a column
      imageWidth_ = columns;
      if (m != 0 && m != 1 && m != 32 && m != 33) {
        skip_ = true;
        return Data(static_cast<std::uint64_t>(columns) * imageRowBytes_, Sink::kSkip);
      }
      return Data(static_cast<std::uint64_t>(columns) * imageRowBytes_, Sink::kBitImage);
    }
    case Cmd(kGs, 'v'): {
      const std::uint8_t m = params_[1];
      imageRowBytes_ = params_[2] | params_[3] << 8;
      imageHeight_ = params_[4] | params_[5] << 8;
      const std::uint64_t size = static_cast<std::uint64_t>(imageRowBytes_) * imageHeight_;
      if (params_[0] != '0' || m % 48 > 3 || (m > 3 && m < 48) || m > 51 || size == 0) {
        skip_ = true;  // no raster image this printer knows: skipped with what it says follows
        return Data(params_[0] == '0' ? size : 0, Sink::kSkip);
      }
      command_ = command_ << 8 | '0';
      imageScaleX_ = (m & 1) != 0 ? 2 : 1;
      imageScaleY_ = (m & 2) != 0 ? 2 : 1;
      imageWidth_ = 8 * imageRowBytes_;
      BeginRaster();
      return Data(size, Sink::kRaster);
    }
    case Cmd(kEsc, '&'):
      if (phase_ == 0) {  // y c1 c2, then for each character x and y * x bytes
        imageHeight_ = params_[0];
        phase_ = params_[2] >= params_[1] ? params_[2] - params_[1] + 1 : 0;
        if (phase_ == 0) return Skipped();
        phase_ = -phase_ - 1;  // characters left, kept apart from the skipped marker
        return Params(1);
      }
      return Data(static_cast<std::uint64_t>(imageHeight_) * n, Sink::kSkip);
    case Cmd(kEsc, '('):
    case Cmd(kFs, '('):
      skip_ = true;
      return Data(static_cast<std::uint64_t>(params_[1] | params_[2] << 8), Sink::kSkip);
    case Cmd(kGs, '('):
    case Cmd(kGs, '8'): {
      const bool large = command_ == Cmd(kGs, '8');
      const std::uint64_t size =
          large ? (params_[1] | params_[2] << 8 | static_cast<std::uint64_t>(params_[3]) << 16 |
                   static_cast<std::uint64_t>(params_[4]) << 24)
                : static_cast<std::uint64_t>(params_[1] | params_[2] << 8);
      command_ = command_ << 8 | params_[0];
      if (params_[0] != 'L' && !(params_[0] == 'k' && !large)) {
        skip_ = true;
        return Data(size, Sink::kSkip);
      }
      // The first bytes say what the command does: m fn for graphics, cn fn n for symbols.
      phase_ = 1;
      paramCount_ = 0;
      paramsWanted_ = static_cast<int>(std::min<std::uint64_t>(size, params_[0] == 'L' ? 2 : 3));
      skip_ = size == 0;
      return Data(size, skip_ ? Sink::kSkip : Sink::kHeader);
    }
    default:
      break;
  }
  EndCommand();
}

void VirtualPrinter::DataByte(std::uint8_t byte) noexcept {
  switch (sink_) {
    case Sink::kSkip:
    case Sink::kCount:
      return;
    case Sink::kHeader:
      params_[static_cast<std::size_t>(paramCount_++)] = byte;
      if (paramCount_ == paramsWanted_) HeaderDone();
      return;
    case Sink::kBitImage: {
      const int column = static_cast<int>(dataSeen_ / static_cast<std::uint64_t>(imageRowBytes_));
      const int part = static_cast<int>(dataSeen_ % static_cast<std::uint64_t>(imageRowBytes_));
      const int x = x_ + column * imageScaleX_;
      if (byte == 0 || x >= line_.width()) return;
      for (int bit = 0; bit < 8; ++bit) {
        if ((byte & (0x80 >> bit)) == 0) continue;
        const int y = kMaxLineHeight - kGlyphCellHeight + (8 * part + bit) * imageScaleY_;
        for (int dy = 0; dy < imageScaleY_; ++dy)
          for (int dx = 0; dx < imageScaleX_; ++dx)
            line_.SetDot(x + dx, y + dy);
      }
      return;
    }
    case Sink::kRaster: {
      if (byte == 0) return;
      const auto row = static_cast<int>(dataSeen_ / static_cast<std::uint64_t>(imageRowBytes_));
      const auto column = static_cast<int>(dataSeen_ % static_cast<std::uint64_t>(imageRowBytes_));
      for (int dy = 0; dy < imageScaleY_; ++dy) {
        const int y = row * imageScaleY_ + dy;
        if (y >= imageRows_) return;
        OrScaled(paper_.MutableRow(imageTop_ + y), paper_.width(),
                 imageLeft_ + 8 * imageScaleX_ * column, byte, imageScaleX_);
      }
      return;
    }
    case Sink::kGraphics: {
      const auto row = static_cast<int>(dataSeen_ / static_cast<std::uint64_t>(imageRowBytes_));
      const auto column = static_cast<int>(dataSeen_ % static_cast<std::uint64_t>(imageRowBytes_));
      if (row < graphics_.height())
        OrDots(graphics_.MutableRow(row), graphics_.width(), 8 * column, byte);
      return;
    }
  }
}

// The first bytes of GS ( L, GS 8 L or GS ( k have come; dataLeft_ bytes follow them.
void VirtualPrinter::HeaderDone() noexcept {
  sink_ = Sink::kSkip;
  if (static_cast<std::uint8_t>(command_) == 'k') {
    const std::uint8_t cn = params_[0];
    const std::uint8_t fn = params_[1];
    if (fn == 67 && paramCount_ >= 3) symbolModule_ = std::clamp<int>(params_[2], 1, 16);
    if (fn == 80) symbolBytes_ = dataLeft_ + 1;  // the data after m
    // Printed (fn 81): 2 a QR code, 3 PDF417, 4 any other symbol. The rest only sets.
    phase_ = fn != 81 ? 0 : cn == 49 ? 2 : cn == 48 ? 3 : 4;
    return;
  }
  const std::uint8_t fn = params_[1];
  if (phase_ == 1 && fn == 112 && dataLeft_ >= 8) {
    phase_ = 2;  // a bx by c xL xH yL yH follow
    paramsWanted_ = 10;
    sink_ = Sink::kHeader;
    return;
  }
  if (phase_ == 1) {
    phase_ = 4;  // print what is stored, or else skip
    skip_ = fn != 50 && fn != 2;
    return;
  }
  // Graphics in raster format, for the print buffer.
  const std::uint8_t a = params_[2], bx = params_[3], by = params_[4];
  const int width = params_[6] | params_[7] << 8;
  const int height = params_[8] | params_[9] << 8;
  skip_ = true;
  if (a != 48 || (bx != 1 && bx != 2) || (by != 1 && by != 2) || width == 0 || height == 0) return;
  graphics_ = Paper(std::min(width, paper_.width()));
  if (!graphics_.Feed(std::min(height, kMaxGraphicsRows))) {
    Log({.kind = PrinterEventKind::kOutOfMemory, .offset = commandStart_});
    graphics_ = Paper(1);
    return;
  }
  skip_ = false;
  phase_ = 3;
  graphicsWidth_ = width;
  graphicsScaleX_ = bx;
  graphicsScaleY_ = by;
  imageRowBytes_ = (width + 7) / 8;
  sink_ = Sink::kGraphics;
  dataSeen_ = static_cast<std::uint64_t>(-1);  // Step counts this byte: the data starts at 0
}

void VirtualPrinter::DataDone() noexcept {
  if (skip_) return Skipped();
  switch (command_) {
    case Cmd(kEsc, '*'):
      lineHeight_ = std::max(lineHeight_, kGlyphCellHeight);
      x_ = std::min(x_ + imageWidth_ * imageScaleX_, paper_.width());
      lineRight_ = std::max(lineRight_, x_);
      return EndCommand();
    case Cmd(kGs, 'v', '0'):
      Log({.kind = PrinterEventKind::kGraphicsPrinted,
           .offset = commandStart_,
           .widthDots = std::min(imageWidth_ * imageScaleX_, paper_.width() - imageLeft_),
           .heightDots = imageRows_,
           .count = static_cast<std::uint64_t>(
               std::max(0, imageWidth_ * imageScaleX_ - (paper_.width() - imageLeft_))),
           .command = command_});
      return EndCommand();
    case Cmd(kEsc, '&'):
      if (phase_ < -2) {
        ++phase_;
        return Params(1);
      }
      return Skipped();  // user-defined characters: the one font stays
    case Cmd(kEsc, 'D'):
      return EndCommand();
    case Cmd(kGs, 'k'): {
      const std::uint64_t count = phase_ == 1 ? dataSeen_ - 1 : dataSeen_;  // not the NUL
      const int modules = static_cast<int>(std::min<std::uint64_t>(count, 255)) * 11 + 35;
      PrintPlaceholder(0, barcodeModule_ * modules, barcodeHeight_);
      return EndCommand();
    }
    case Cmd(kGs, '(', 'L'):
    case Cmd(kGs, '8', 'L'):
      if (phase_ == 4) {
        PrintGraphics();
        return EndCommand();
      }
      return EndCommand();  // stored
    case Cmd(kGs, '(', 'k'):
      if (phase_ == 2) {
        const int side = QrModules(symbolBytes_) * symbolModule_;
        PrintPlaceholder(1, side, side);
      } else if (phase_ == 3) {
        PrintPlaceholder(2, paper_.width() * 2 / 3, 24 * symbolModule_);
      } else if (phase_ == 4) {
        PrintPlaceholder(3, 32 * symbolModule_, 32 * symbolModule_);
      }
      return EndCommand();  // settings and data: understood, kept for the print
    default:
      return Skipped();
  }
}

void VirtualPrinter::Initialize() noexcept {
  if (lineHeight_ > 0 && line_.height() == kMaxLineHeight) {
    for (int y = kMaxLineHeight - lineHeight_; y < kMaxLineHeight; ++y)
      std::fill(line_.MutableRow(y).begin(), line_.MutableRow(y).end(), std::uint8_t{0});
  }
  x_ = lineHeight_ = lineRight_ = 0;
  lineSpacing_ = kDefaultLineSpacing;
  justification_ = 0;
  emphasis_ = doubleStrike_ = reverse_ = false;
  underline_ = charSpacing_ = codePage_ = tabCount_ = 0;
  scaleX_ = scaleY_ = 1;
  barcodeHeight_ = 162;
  barcodeModule_ = symbolModule_ = 3;
  symbolBytes_ = 0;
  graphics_ = Paper(1);
}

void VirtualPrinter::BeginDefinition(std::uint8_t count) noexcept {
  recordCount_ = count;
  recordNumber_ = 0;
  headerFill_ = 0;
  if (count == 0) {
    Log({.kind = PrinterEventKind::kDefinitionEmpty, .offset = commandStart_});
    return EndCommand();
  }
  state_ = State::kRecordHeader;
}

void VirtualPrinter::FinishRecordHeader() noexcept {
  const auto [x, y] = ReadNvRecordHeader(header_.data());
  ++recordNumber_;
  if (!IsValidNvImageSize(x, y)) {
    Log({.kind = PrinterEventKind::kRecordInvalid,
         .offset = recordStart_,
         .image = recordNumber_,
         .widthDots = 8 * x,
         .heightDots = 8 * y});
    return EndCommand();
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
      pendingFill_ = kNvRecordHeaderSize;
    } else {
      Log({.kind = PrinterEventKind::kOutOfMemory, .offset = recordStart_, .image = recordNumber_});
      definition_ = Definition::kSkipping;
    }
  }
  recordLeft_ = size - kNvRecordHeaderSize;
  state_ = State::kRecordData;
}

void VirtualPrinter::FinishRecord() noexcept {
  if (pending_) {
    const std::uint32_t size = pending_->size();
    nv_.Append(std::move(*pending_));
    pending_.reset();
    const auto [x, y] = ReadNvRecordHeader(header_.data());
    Log({.kind = PrinterEventKind::kImageStored,
         .offset = recordStart_,
         .image = recordNumber_,
         .widthDots = 8 * x,
         .heightDots = 8 * y,
         .bytes = size});
  }
  if (recordNumber_ >= recordCount_) {
    EndCommand();
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
  PrintPending();
  const int sx = (*mode & 1) != 0 ? 2 : 1;
  const int sy = (*mode & 2) != 0 ? 2 : 1;
  const int width = paper_.width();
  const int fullWidth = image->widthDots() * sx;
  const int left = Justified(fullWidth);
  const int top = paper_.height();
  const int rows = FeedPaper(image->heightDots() * sy);
  DrawImage(paper_, top, rows, left, *image, sx, sy);
  Log({.kind = PrinterEventKind::kImagePrinted,
       .offset = commandStart_,
       .image = number,
       .widthDots = std::min(fullWidth, width),
       .heightDots = rows,
       .mode = *mode,
       .count = static_cast<std::uint64_t>(std::max(0, fullWidth - width))});
}

int VirtualPrinter::CellWidth() const noexcept {
  return (kGlyphCellWidth + charSpacing_) * scaleX_;
}

void VirtualPrinter::PutChar(std::uint8_t c) noexcept {
  const int width = CellWidth();
  if (x_ > 0 && x_ + width > paper_.width()) PrintLine(lineSpacing_);
  const int height = kGlyphCellHeight * scaleY_;
  const int top = kMaxLineHeight - height;
  const int columns = kGlyphCellWidth + charSpacing_;
  for (int y = 0; y < kGlyphCellHeight; ++y) {
    std::uint16_t bits = c < 0x80 ? GlyphRow(c, y) : CodePageGlyphRow(c, y, codePage_ == 0);
    if (emphasis_ || doubleStrike_) bits = static_cast<std::uint16_t>(bits | bits >> 1);
    // The underline runs under the whole cell, the spacing included, as does reverse.
    const bool underline =
        underline_ > 0 && y >= kGlyphCellHeight - 1 - underline_ && y < kGlyphCellHeight - 1;
    for (int column = 0; column < columns; ++column) {
      bool black = column < kGlyphCellWidth && (bits & (0x800U >> column)) != 0;
      black = (black || underline) != reverse_;
      if (!black) continue;
      for (int dy = 0; dy < scaleY_; ++dy)
        for (int dx = 0; dx < scaleX_; ++dx)
          line_.SetDot(x_ + column * scaleX_ + dx, top + y * scaleY_ + dy);
    }
  }
  lineHeight_ = std::max(lineHeight_, height);
  x_ += width;
  lineRight_ = std::min(std::max(lineRight_, x_), paper_.width());
}

void VirtualPrinter::Tab() noexcept {
  const int unit = CellWidth();
  const int count = tabCount_ > 0 ? tabCount_ : paper_.width() / (8 * unit) + 1;
  for (int i = 0; i < count; ++i) {
    const int stop = unit * (tabCount_ > 0 ? tabs_[static_cast<std::size_t>(i)] : 8 * (i + 1));
    if (stop > x_) {
      if (stop < paper_.width()) x_ = stop;
      return;
    }
  }
}

int VirtualPrinter::Justified(int width) const noexcept {
  const int room = std::max(0, paper_.width() - width);
  return justification_ == 1 ? room / 2 : justification_ == 2 ? room : 0;
}

void VirtualPrinter::PrintLine(int feed) noexcept {
  const int height = lineHeight_;
  const int top = paper_.height();
  const int rows = std::min(FeedPaper(std::max(feed, height)), height);
  if (height > 0 && line_.height() == kMaxLineHeight) {
    const int left = Justified(lineRight_);
    for (int y = 0; y < height; ++y) {
      const std::span<std::uint8_t> from = line_.MutableRow(kMaxLineHeight - height + y);
      if (y < rows) {
        const std::span<std::uint8_t> to = paper_.MutableRow(top + y);
        for (std::size_t i = 0; i < from.size(); ++i)
          OrDots(to, paper_.width(), left + 8 * static_cast<int>(i), from[i]);
      }
      std::fill(from.begin(), from.end(), std::uint8_t{0});
    }
  }
  x_ = lineHeight_ = lineRight_ = 0;
}

void VirtualPrinter::PrintPending() noexcept {
  if (lineHeight_ > 0) {
    PrintLine(lineSpacing_);
  } else {
    x_ = 0;
  }
}

void VirtualPrinter::BeginRaster() noexcept {
  PrintPending();
  imageLeft_ = Justified(imageWidth_ * imageScaleX_);
  imageTop_ = paper_.height();
  imageRows_ = FeedPaper(imageHeight_ * imageScaleY_);
}

void VirtualPrinter::PrintGraphics() noexcept {
  if (graphics_.height() == 0 || graphicsWidth_ == 0) return;  // nothing stored
  PrintPending();
  const int sx = graphicsScaleX_, sy = graphicsScaleY_;
  const int left = Justified(graphicsWidth_ * sx);
  const int top = paper_.height();
  const int rows = FeedPaper(graphics_.height() * sy);
  for (int y = 0; y < rows; ++y) {
    const std::span<const std::uint8_t> from = graphics_.Row(y / sy);
    for (std::size_t i = 0; i < from.size(); ++i)
      OrScaled(paper_.MutableRow(top + y), paper_.width(), left + 8 * sx * static_cast<int>(i),
               from[i], sx);
  }
  Log({.kind = PrinterEventKind::kGraphicsPrinted,
       .offset = commandStart_,
       .widthDots = std::min(graphicsWidth_ * sx, paper_.width() - left),
       .heightDots = rows,
       .count =
           static_cast<std::uint64_t>(std::max(0, graphicsWidth_ * sx - (paper_.width() - left))),
       .command = command_});
  graphics_ = Paper(1);
  graphicsWidth_ = 0;
}

void VirtualPrinter::PrintPlaceholder(int kind, int width, int height) noexcept {
  PrintPending();
  width = std::clamp(width, 4, paper_.width());
  height = std::max(height, 4);
  const int left = Justified(width);
  const int top = paper_.height();
  const int rows = FeedPaper(height);
  for (int y = 0; y < rows; ++y) {
    const bool edge = y < 2 || y >= height - 2;
    for (int x = 0; x < width; ++x) {
      if (edge || x < 2 || x >= width - 2) paper_.SetDot(left + x, top + y);
    }
  }
  const std::string_view label = kPlaceholderLabels[kind];
  const int labelWidth = static_cast<int>(label.size()) * kGlyphCellWidth;
  if (labelWidth + 8 <= width && kGlyphCellHeight + 8 <= rows) {
    const int x = left + (width - labelWidth) / 2;
    const int y = top + (height - kGlyphCellHeight) / 2;
    for (std::size_t i = 0; i < label.size(); ++i)
      DrawGlyph(paper_, static_cast<std::uint8_t>(label[i]),
                x + kGlyphCellWidth * static_cast<int>(i), y);
  }
  Log({.kind = PrinterEventKind::kPlaceholderPrinted,
       .offset = commandStart_,
       .widthDots = width,
       .heightDots = rows,
       .mode = kind,
       .command = command_});
}

void VirtualPrinter::Cut(bool partial, int feed) noexcept {
  PrintPending();
  FeedPaper(feed);
  const int top = paper_.height();
  const int rows = FeedPaper(kCutRows);
  // A dashed line, two dots thick, across the middle of the rows the cut takes.
  for (int y = kCutRows / 2 - 1; y <= kCutRows / 2 && y < rows; ++y) {
    for (int x = 0; x < paper_.width(); ++x) {
      if (x % 12 < 8) paper_.SetDot(x, top + y);
    }
  }
  Log({.kind = PrinterEventKind::kPaperCut,
       .offset = commandStart_,
       .mode = partial ? 1 : 0,
       .command = command_});
}

int VirtualPrinter::FeedPaper(int rows) noexcept {
  if (paperEnd_ || rows <= 0) return 0;
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
    case State::kPrefix:
      // A prefix with nothing after it is just an ignored byte or two.
      Ignore(commandStart_, offset_ - commandStart_);
      break;
    case State::kParams:
      missing = static_cast<std::uint64_t>(paramsWanted_ - paramCount_);
      break;
    case State::kData:
      missing = dataLeft_;
      break;
    case State::kUntilNul:
      missing = 1;
      break;
    case State::kRecordHeader:
      missing = static_cast<std::uint64_t>(4 - headerFill_);
      break;
    case State::kRecordData:
      missing = recordLeft_;
      break;
  }
  if (missing != 0) {
    Log({.kind = PrinterEventKind::kIncompleteCommand, .offset = commandStart_, .count = missing});
  }
  pending_.reset();
  EndCommand();
  PrintPending();
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
