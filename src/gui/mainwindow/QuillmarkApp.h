#pragma once

#include "framework/WinApp.h"
#include "state/ServiceCode.h"

namespace quillmark {

// The application: runs the main window once, then ends the program.
class CQuillmarkApp : public CWinApp {
 public:
  // Builds the main window, offers Patch when m_lpCmdLine is the access code (compared
  // byte for byte), runs the window modally and returns false when it has closed.
  bool InitInstance() override;
};

}  // namespace quillmark
