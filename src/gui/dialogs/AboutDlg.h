#pragma once

#include "framework/Dialog.h"

namespace quillmark {

// The About box: the icon, the version line and OK.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(CDialog* parent = nullptr);
};

}  // namespace quillmark
