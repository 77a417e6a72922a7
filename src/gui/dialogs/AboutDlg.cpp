#include "dialogs/AboutDlg.h"

#include "res/Resource.h"

namespace quillmark {

CAboutDlg::CAboutDlg(CDialog* parent) : CDialog(IDD_ABOUTBOX, parent) {}

}  // namespace quillmark
