#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/ByteBlock.h"
#include "dialogs/PrinterModels.h"
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
  kImageStored,        // image, widthDots, heightDots, bytes (its record size)
  kDefinitionIgnored,  // FS q whose first image (widthDots, heightDots, bytes) does not fit
                       // the NV memory: nothing stored, the earlier images kept
  kImagesNotStored,    // image (widthDots, heightDots, bytes) does not fit beside the images
                       // stored before it: it and the `count` images after it stay undefined
  kDefinitionEmpty,    // FS q with n = 0: ignored, the earlier images kept
  kRecordInvalid,      // record `image` of an FS q has a size no image can have
                       // (widthDots, heightDots as given); the command is abandoned
  kImagePrinted,       // FS p: image printed in `mode` (0 to 3), widthDots x heightDots as
                       // printed, `count` dot columns cut off at the print width
  kImageUndefined,     // FS p for an image number that is not defined: nothing printed
  kPrintModeInvalid,   // FS p with an m not in the table (`mode`): ignored
  kBytesIgnored,       // `count` bytes from `offset` that no command takes
  kPaperEnd,           // the strip reached maxPaperRows; nothing more is printed this job
  kOutOfMemory,        // paper or an image record could not be had; that output is lost
  kIncompleteCommand,  // the job ended inside the command begun at `offset`, `count`
                       // bytes short of its end (counted as far as its headers tell)
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

  friend bool operator==(const PrinterEvent&, const PrinterEvent&) = default;
};

// One line of text for the log, e.g. "byte 3: image 1 stored, 576 x 200 dots (14404 bytes)".
std::string DescribeEvent(const PrinterEvent& event);

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
//   FS p n m  (1C 70 n m, or 1B 1C 70 n m): prints image n at the left margin, m = 0/48
//           normal, 1/49 double width, 2/50 double height, 3/51 both; dots beyond the print
//           width are dropped. A pending text line is printed first. An undefined image
//           prints nothing; another m ignores the command.
//   0x20 to 0x7E: text, in the 12 x 24 font, width / 12 characters a line; a character
//           that does not fit prints the line and starts the next one.
//   LF: prints the pending line, or on an empty line feeds one line (24 dots).
//   NUL: ignored silently.
// Every other byte, an ESC not followed by FS and an FS not followed by q or p, is
// counted and logged as ignored; the byte after such a prefix is read afresh.
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
    kEsc,           // after ESC
    kFs,            // after FS (or ESC FS)
    kDefineCount,   // after FS q: n
    kRecordHeader,  // the 4 size bytes of a record
    kRecordData,    // its raster
    kPrintNumber,   // after FS p: n
    kPrintMode,     // m
  };
  enum class Definition { kStoring, kSkipping };

  static constexpr int kMaxLineChars = 8184 / 12;

  void Step(std::uint8_t byte) noexcept;
  void Dispatch(std::uint8_t byte) noexcept;
  void BeginDefinition(std::uint8_t count) noexcept;
  void FinishRecordHeader() noexcept;
  void FinishRecord() noexcept;
  void PrintImage(int number, std::uint8_t mode) noexcept;
  void PutChar(std::uint8_t c) noexcept;
  void LineFeed() noexcept;
  void PrintLine() noexcept;
  // Adds up to `rows` blank rows to the paper and returns how many it added: fewer at the
  // paper end or when memory runs out, each of which is logged.
  int FeedPaper(int rows) noexcept;
  void Ignore(std::uint64_t offset, std::uint64_t count) noexcept;
  void Log(const PrinterEvent& event) noexcept;

  VirtualPrinterConfig config_;
  Paper paper_;
  NvMemory nv_;
  int charsPerLine_;
  std::array<std::uint8_t, kMaxLineChars> line_{};
  int lineLength_ = 0;
  bool paperEnd_ = false;

  State state_ = State::kIdle;
  std::uint64_t offset_ = 0;        // position of the byte being read
  std::uint64_t commandStart_ = 0;  // position of the ESC or FS that began the command
  // FS q in progress.
  Definition definition_ = Definition::kStoring;
  int recordCount_ = 0;   // n
  int recordNumber_ = 0;  // the record being read, 1-based
  std::uint64_t recordStart_ = 0;
  std::array<std::uint8_t, 4> header_{};
  int headerFill_ = 0;
  std::uint32_t dataLeft_ = 0;
  std::optional<ByteBlock> pending_;  // the record being stored
  std::uint32_t pendingFill_ = 0;
  // FS p in progress.
  int printNumber_ = 0;

  std::vector<PrinterEvent> events_;
  std::uint64_t droppedEvents_ = 0;
  std::uint64_t bytesIgnored_ = 0;
};

}  // namespace quillmark
