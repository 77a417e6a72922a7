#pragma once

// The Win32 backend's message boxes, and the test hook's answers to every box that comes
// up on the program's thread: its own, and the questions of the system's file dialogs.

#include <string>

struct HHOOK__;
struct HWND__;

namespace quillmark::win32 {

// MessageBoxW with the framework's MB_* type; returns the ID of the button pressed.
// Non-empty `details` (why a failure happened) follow the text after a blank line.
int ShowMessageBox(HWND__* owner, const std::string& text, const std::string& caption,
                   unsigned type, const std::string& details = {});

// While one lives and the test hook is enabled, every message box that is activated on
// this thread is read back as the user sees it (texts, buttons left to right, icon,
// default button, owner) and the hook's queued button is pressed on it; a box with nothing
// queued is reported and closed as cancelled. Windows of the framework's own dialogs and
// file dialogs are left alone.
class BoxAnswerer {
 public:
  BoxAnswerer();
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;
};

}  // namespace quillmark::win32
