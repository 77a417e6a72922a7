#pragma once

// The values of the Win32 API that the framework's MFC-style calls take and give: message-box
// types and answers, file-dialog flags, and the arguments of a file dialog. The core never
// sees them; GuiCommandUi turns its messages and prompts into them. <windows.h> defines the
// same names, with the same values, as macros: a file that needs both includes it last.

#include <string>

#include "res/Resource.h"  // IDOK and IDCANCEL, the standard buttons

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

// Answers of message boxes and modal dialogs, besides IDOK and IDCANCEL.
inline constexpr int IDRETRY = 4;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// File-dialog flags.
inline constexpr unsigned OFN_OVERWRITEPROMPT = 0x02;
inline constexpr unsigned OFN_HIDEREADONLY = 0x04;

// The arguments of a file dialog, in the order CFileDialog takes them.
struct FileDialogRequest {
  bool openFileDialog = true;    // true: Open, false: Save As
  std::string defaultExtension;  // appended to a typed name without extension ("BIN")
  std::string initialFileName;   // the name field's start text
  unsigned flags = 0;            // OFN_* flags
  std::string filter;            // "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"
};

}  // namespace quillmark
