#pragma once

// Message boxes: text, caption and an MB_* type (a button set and an icon), answered with
// the ID of the button pressed.

#include <QWidget>
#include <string>

#include "framework/WinDefs.h"

namespace quillmark {

// Which button is the default one (Enter); the first when none is given.
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFMASK = 0xF00;

// A modal message box owned by `owner` (the application's main window when null):
// MB_OK, MB_OKCANCEL, MB_YESNO or MB_RETRYCANCEL with MB_ICONHAND, MB_ICONQUESTION,
// MB_ICONEXCLAMATION or MB_ICONINFORMATION. The text is shown as plain text. Returns
// IDOK, IDCANCEL, IDRETRY, IDYES or IDNO; closing the box counts as Cancel where there
// is one, as OK in an OK box, and as No in a Yes/No box. Non-empty `details` (why a
// failure happened) are one click away, under a "Show Details..." button.
int MessageBox(QWidget* owner, const std::string& text, const std::string& caption, unsigned type,
               const std::string& details = {});

}  // namespace quillmark
