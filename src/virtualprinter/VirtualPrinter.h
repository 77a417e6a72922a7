#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "state/ByteBlock.h"
#include "state/PrinterModels.h"
#include "virtualprinter/NvMemory.h"
#include "virtualprinter/Paper.h"

namespace quillmark {

// 80 m of paper at 8 dots a millimetre: the longest strip one job prints before the
// virtual printer reports a paper end. It also bounds the memory a hostile stream can make
// the paper take (about 67 MB at 832 dots).
inline constexpr int kDefaultPaperRows = 640000;

struct VirtualPrinterConfig {
  std::uint32_t nvCapacity = 0x40000;  // bytes of NV image memory
  int widthDots = 576;                 // print width; 8 to 8184 dots
  int maxPaperRows = kDefaultPaperRows;
};

// The NV capacity and print width of a printer model.
VirtualPrinterConfig VirtualPrinterConfigFor(const PrinterModel& model) noexcept;

enum class PrinterEventKind {
  kImageStored,         // image, widthDots, heightDots, bytes (its record size)
  kDefinitionIgnored,   // FS q whose first image (widthDots, heightDots, bytes) does not fit
                        // the NV memory: nothing stored, the earlier images kept
  kImagesNotStored,     // image (widthDots, heightDots, bytes) does not fit beside the images
                        // stored before it: it and the `count` images after it stay undefined
  kDefinitionEmpty,     // FS q with n = 0: ignored, the earlier images kept
  kRecordInvalid,       // record `image` of an FS q has a size no image can have
                        // (widthDots, heightDots as given); the command is abandoned
  kImagePrinted,        // FS p: image printed in `mode` (0 to 3), widthDots x heightDots as
                        // printed, `count` dot columns cut off at the print width
  kImageUndefined,      // FS p for an image number that is not defined: nothing printed
  kPrintModeInvalid,    // FS p with an m not in the table (`mode`): ignored
  kBytesIgnored,        // `count` bytes from `offset` that no command takes
  kPaperEnd,            // the strip reached maxPaperRows; nothing more is printed this job
  kOutOfMemory,         // paper or an image record could not be had; that output is lost
  kIncompleteCommand,   // the job ended inside the command begun at `offset`, `count`
                        // bytes short of its end (counted as far as its headers tell)
  kCommandSkipped,      // a known `command` (`count` bytes with its parameters and data)
                        // that the virtual printer does not carry out
  kGraphicsPrinted,     // a raster image or stored graphics (`command`): widthDots x
                        // heightDots as printed, `count` dot columns beyond the print width
  kPlaceholderPrinted,  // a barcode or 2D symbol (`command`, its kind in `mode`) drawn as a
                        // labelled box of widthDots x heightDots
  kPaperCut,            // GS V or ESC i / m: a dashed line across the paper; `mode` 1 partial
};

// One entry of the printer's log. `offset` is the position in everything fed to the
// printer of the command (or of the first byte) the entry is about.
struct PrinterEvent {
  PrinterEventKind kind = PrinterEventKind::kBytesIgnored;
  std::uint64_t offset = 0;
  int image = 0;  // 1-based image number
  int widthDots = 0;
  int heightDots = 0;
  int mode = 0;
  std::uint64_t count = 0;
  std::uint32_t bytes = 0;
  // The command's bytes, the first in the highest byte used: 0x1B61 is ESC a, 0x1D284C is
  // GS ( L.
  std::uint32_t command = 0;

  friend bool operator==(const PrinterEvent&, const PrinterEvent&) = default;
};

// One line of text for the log, e.g. "byte 3: image 1 stored, 576 x 200 dots (14404 bytes)".
std::string DescribeEvent(const PrinterEvent& event);

// The name of a command as PrinterEvent::command holds it, e.g. "GS ( L".
std::string CommandName(std::uint32_t command);

// A receipt printer of the family Quillmark writes for, without the hardware: it takes the
// bytes a real one takes, in pieces of any size, and draws what it would print.
//
// Understood:
//   FS q n  (1C 71 n, or 1B 1C 71 n): n image records (xL xH yL yH, 8xy raster bytes)
//           replace every image stored before. The first record decides: if it does not
//           fit the NV capacity the whole command is consumed and ignored; otherwise the
//           old images are erased and each record is stored as it completes, until one
//           does not fit beside those before it: that one and the rest stay undefined
//           (their bytes still consumed). A record with x or y of 0, x > 1023 or y > 288
//           has no knowable length, so the command ends after that record's 4 header
//           bytes; the images completed before it stay, and the bytes after it are read
//           as ordinary data again, as a printer that has lost the thread would.
//   FS p n m  (1C 70 n m, or 1B 1C 70 n m): prints image n, m = 0/48 normal, 1/49 double
//           width, 2/50 double height, 3/51 both; dots beyond the print width are dropped.
//           A pending text line is printed first. An undefined image prints nothing;
//           another m ignores the command.
//   Text: 0x20 to 0x7E in the 12 x 24 font; from 0x80 the box-drawing characters of code
//           page 437 (the others as hollow boxes). A character that does not fit the line
//           prints it and starts the next. LF prints the line (or feeds an empty one).
//   The commands receipts are made of (ESC/POS): ESC @, ESC 2, ESC 3, ESC a, ESC E, ESC G,
//           ESC -, ESC !, ESC SP, ESC $, ESC \, ESC D and HT, GS !, GS B, ESC J, ESC d,
//           ESC *, GS v 0, GS ( L and GS 8 L functions 112 and 50, GS V (and ESC i, ESC m)
//           as a dashed cut line; barcodes (GS k) and 2D symbols (GS ( k) as labelled
//           boxes; a table of other commands is consumed with their parameters and logged.
//   NUL and CR: ignored silently.
// Every other byte, and a prefix (ESC, GS, FS, DLE) followed by a byte that makes no
// command, is counted and logged as ignored; the byte after such a prefix is read afresh.
class VirtualPrinter {
 public:
  static constexpr std::size_t kMaxEvents = 10000;

  explicit VirtualPrinter(const VirtualPrinterConfig& config) noexcept;

  // Interprets the next piece of the stream; a command may continue in the next piece.
  void Feed(std::span<const std::uint8_t> bytes) noexcept;
  // Ends a job, as the end of a file or a closed connection does: prints a pending text
  // line, and drops and logs a command cut off by the end of the input (images it had
  // completed stay stored).
  void EndJob() noexcept;
  // EndJob, then hands over the paper printed so far and starts a new, empty strip.
  Paper TakePaper() noexcept;

  const VirtualPrinterConfig& config() const noexcept { return config_; }
  const Paper& paper() const noexcept { return paper_; }
  const NvMemory& nvMemory() const noexcept { return nv_; }
  // For loading a saved NV store into the printer before feeding it.
  NvMemory& nvMemory() noexcept { return nv_; }

  // The log, oldest first; beyond kMaxEvents entries the rest are only counted.
  std::span<const PrinterEvent> events() const noexcept { return events_; }
  std::uint64_t droppedEvents() const noexcept { return droppedEvents_; }
  void ClearEvents() noexcept;

  std::uint64_t bytesFed() const noexcept { return offset_; }
  std::uint64_t bytesIgnored() const noexcept { return bytesIgnored_; }
  // Whether the bytes fed so far end inside a command.
  bool inCommand() const noexcept { return state_ != State::kIdle; }

 private:
  enum class State {
    kIdle,
    kPrefix,        // after ESC, GS, FS or DLE: the byte that names the command
    kParams,        // its fixed parameters
    kData,          // its data, as many bytes as its parameters said
    kUntilNul,      // bytes up to a NUL (ESC D, GS k of the first kind)
    kRecordHeader,  // FS q: the 4 size bytes of a record
    kRecordData,    // FS q: its raster
  };
  // Where the bytes of kData go.
  enum class Sink { kSkip, kCount, kHeader, kBitImage, kRaster, kGraphics };
  enum class Definition { kStoring, kSkipping };

  static constexpr int kMaxLineHeight = 8 * 24;  // text of eight times the height
  static constexpr int kMaxTabs = 32;

  void Step(std::uint8_t byte) noexcept;
  void Dispatch(std::uint8_t byte) noexcept;
  void BeginCommand(std::uint8_t code) noexcept;
  void Params(int count) noexcept;
  void Data(std::uint64_t count, Sink sink) noexcept;
  void ParamsDone() noexcept;
  void DataByte(std::uint8_t byte) noexcept;
  void DataDone() noexcept;
  void HeaderDone() noexcept;
  void EndCommand() noexcept;
  void Skipped() noexcept;
  void Unknown(std::uint8_t code) noexcept;
  void Initialize() noexcept;

  void BeginDefinition(std::uint8_t count) noexcept;
  void FinishRecordHeader() noexcept;
  void FinishRecord() noexcept;
  void PrintImage(int number, std::uint8_t mode) noexcept;

  void PutChar(std::uint8_t c) noexcept;
  void Tab() noexcept;
  int CellWidth() const noexcept;
  // Prints the pending line and feeds `feed` dots from its top, at least its height.
  void PrintLine(int feed) noexcept;
  void PrintPending() noexcept;
  int Justified(int width) const noexcept;
  void BeginRaster() noexcept;
  void PrintGraphics() noexcept;
  void PrintPlaceholder(int kind, int width, int height) noexcept;
  void Cut(bool partial, int feed) noexcept;
  // Adds up to `rows` blank rows to the paper and returns how many it added: fewer at the
  // paper end or when memory runs out, each of which is logged.
  int FeedPaper(int rows) noexcept;
  void Ignore(std::uint64_t offset, std::uint64_t count) noexcept;
  void Log(const PrinterEvent& event) noexcept;

  VirtualPrinterConfig config_;
  Paper paper_;
  NvMemory nv_;
  bool paperEnd_ = false;

  // The line being composed, drawn bottom-aligned into the last rows of a strip of the
  // print width, and printed (justified) when it ends.
  Paper line_;
  int x_ = 0;           // where the next character goes, in dots
  int lineHeight_ = 0;  // of the tallest thing on the line; 0: nothing on it
  int lineRight_ = 0;   // the right edge of the rightmost thing on it
  // Modes, as ESC @ sets them.
  int lineSpacing_ = 24;
  int justification_ = 0;  // 0 left, 1 centre, 2 right
  bool emphasis_ = false;
  bool doubleStrike_ = false;
  int underline_ = 0;  // dots
  bool reverse_ = false;
  int scaleX_ = 1;
  int scaleY_ = 1;
  int charSpacing_ = 0;
  int codePage_ = 0;
  std::array<std::uint8_t, kMaxTabs> tabs_{};
  int tabCount_ = 0;
  int barcodeHeight_ = 162;
  int barcodeModule_ = 3;
  int symbolModule_ = 3;
  std::uint64_t symbolBytes_ = 0;  // of the last 2D symbol stored

  State state_ = State::kIdle;
  std::uint64_t offset_ = 0;        // position of the byte being read
  std::uint64_t commandStart_ = 0;  // position of the first byte of the command
  std::uint32_t command_ = 0;       // the command's bytes so far, as PrinterEvent::command
  std::array<std::uint8_t, 16> params_{};
  int paramCount_ = 0;
  int paramsWanted_ = 0;
  Sink sink_ = Sink::kSkip;
  std::uint64_t dataLeft_ = 0;
  std::uint64_t dataSeen_ = 0;
  int phase_ = 0;      // the step within a command of several parts
  bool skip_ = false;  // the command is consumed and logged, not carried out

  // ESC *, GS v 0, GS ( L 112 in progress: their size and scale.
  int imageWidth_ = 0;  // dots
  int imageHeight_ = 0;
  int imageRowBytes_ = 0;
  int imageScaleX_ = 1;
  int imageScaleY_ = 1;
  int imageLeft_ = 0;
  int imageTop_ = 0;
  int imageRows_ = 0;  // paper rows it was given
  // Graphics stored by GS ( L 112 for GS ( L 50 to print.
  Paper graphics_;
  int graphicsWidth_ = 0;  // as sent, before the print width cuts it
  int graphicsScaleX_ = 1;
  int graphicsScaleY_ = 1;

  // FS q in progress.
  Definition definition_ = Definition::kStoring;
  int recordCount_ = 0;   // n
  int recordNumber_ = 0;  // the record being read, 1-based
  std::uint64_t recordStart_ = 0;
  std::array<std::uint8_t, 4> header_{};
  int headerFill_ = 0;
  std::uint32_t recordLeft_ = 0;
  std::optional<ByteBlock> pending_;  // the record being stored
  std::uint32_t pendingFill_ = 0;

  std::vector<PrinterEvent> events_;
  std::uint64_t droppedEvents_ = 0;
  std::uint64_t bytesIgnored_ = 0;
};

}  // namespace quillmark
