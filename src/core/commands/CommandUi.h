#pragma once

// What the command logic needs of a user interface: a message box, a file dialog and the
// upper progress bar. The GUI implements it with real widgets, the command-line tool with
// its arguments and the terminal, tests with scripted answers.
//
// The message-box types, answers and file-dialog flags keep the numeric values of the
// Windows API, so the messages keep one meaning on every platform. Do not include this
// header in a file that includes <windows.h>, whose macros of the same names clash.

#include <cstdint>
#include <optional>
#include <string>

#include "port/PortTransport.h"

namespace quillmark {

// Message-box button sets and icons (combined with |).
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_RETRYCANCEL = 0x05;
inline constexpr unsigned MB_TYPEMASK = 0x0F;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_ICONMASK = 0xF0;

// Answers of message boxes and modal dialogs.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDRETRY = 4;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// File-dialog flags.
inline constexpr unsigned OFN_OVERWRITEPROMPT = 0x02;
inline constexpr unsigned OFN_HIDEREADONLY = 0x04;

// The arguments of a file dialog, in the order the dialog framework takes them.
struct FileDialogRequest {
  bool openFileDialog = true;    // true: Open, false: Save As
  std::string defaultExtension;  // appended to a typed name without extension ("BIN")
  std::string initialFileName;   // the name field's start text
  unsigned flags = 0;            // OFN_* flags
  std::string filter;            // "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"
};

struct FileDialogResult {
  std::string pathName;  // the full path of the chosen file
  std::string fileName;  // its name without the directory
};

class CommandUi {
 public:
  virtual ~CommandUi() = default;
  // Shows a modal message box; returns the button pressed (IDOK, IDCANCEL, IDRETRY...).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
  // A send attempt failed, as `report` says: whether to try again. The window asks with
  // "Communication Error" (caption "Waring Message", Retry and Cancel, the report in
  // words as its details); false is Cancel.
  virtual bool RetryAfterFailedSend(const SendReport& report) = 0;
  // Runs a file dialog; an empty result is Cancel.
  virtual std::optional<FileDialogResult> ChooseFile(const FileDialogRequest& request) = 0;
  // The upper progress bar: its range 0 to `upper`, then positions within it.
  virtual void SetProgressRange(std::uint32_t upper) = 0;
  virtual void SetProgressPos(std::uint32_t pos) = 0;
};

}  // namespace quillmark
