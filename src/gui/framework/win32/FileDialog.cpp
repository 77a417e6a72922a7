// CFileDialog over the system's Open and Save As dialogs (GetOpenFileNameW,
// GetSaveFileNameW): the filter string with its bars turned into NULs, the default
// extension and the OFN_* flags go to the system, which appends the extension and asks
// before an existing file is replaced.

#include "framework/FileDialog.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "framework/Dialog.h"
#include "framework/TestHook.h"
#include "framework/WinApp.h"
#include "framework/win32/MessageBoxes.h"
// Last: its macros would rewrite the framework's names above.
#include "framework/win32/Win32.h"

namespace quillmark {
namespace {

constexpr UINT kAnswerMessage = WM_APP + 0x51;
constexpr std::size_t kPathCapacity = 32768;  // the longest path Windows knows

// The test hook's answers, given to the real dialog: a name typed into its name field and
// OK pressed, as often as the dialog refuses a name (the overwrite question answered No, a
// missing file), or Cancel.
struct HookedDialog {
  bool accepted = false;
};

void TypeAnswers(HWND dialog, const HookedDialog& hooked) {
  for (;;) {
    const std::optional<std::string> typed = testhook::internal::NextFileDialogAnswer();
    if (!typed) {
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return;
    }
    // The name field is cmb13 in one version of the dialog and edt1 in the other.
    const std::wstring name = win32::Widen(*typed);
    SetDlgItemTextW(dialog, cmb13, name.c_str());
    SetDlgItemTextW(dialog, edt1, name.c_str());
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (hooked.accepted || !IsWindow(dialog)) return;
  }
}

UINT_PTR CALLBACK AnswerFromTestHook(HWND child, UINT message, WPARAM, LPARAM lParam) {
  static HookedDialog* hooked = nullptr;
  switch (message) {
    case WM_INITDIALOG:
      hooked = reinterpret_cast<HookedDialog*>(reinterpret_cast<OPENFILENAMEW*>(lParam)->lCustData);
      break;
    case WM_NOTIFY: {
      const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
      if (notify->hdr.code == CDN_INITDONE) PostMessageW(child, kAnswerMessage, 0, 0);
      if (notify->hdr.code == CDN_FILEOK && hooked != nullptr) hooked->accepted = true;
      break;
    }
    case kAnswerMessage:
      if (hooked != nullptr) TypeAnswers(GetParent(child), *hooked);
      break;
    default:
      break;
  }
  return 0;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CFileDialog::CFileDialog(bool openFileDialog, std::string defaultExtension, std::string fileName,
                         unsigned flags, std::string filter, CDialog* parent)
    : request_{openFileDialog, std::move(defaultExtension), std::move(fileName), flags,
               std::move(filter)},
      parent_(parent) {}

CFileDialog::CFileDialog(const FileDialogRequest& request, CDialog* parent)
    : request_(request), parent_(parent) {}

int CFileDialog::DoModal() {
  CDialog* ownerDialog = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  HWND owner = ownerDialog != nullptr ? ownerDialog->GetSafeHwnd() : nullptr;
  pathName_.clear();

  // "A|*.a|B|*.b||" becomes "A\0*.a\0B\0*.b\0\0"; the list is ended twice whatever it says.
  std::wstring filter = win32::Widen(request_.filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  const std::wstring extension = win32::Widen(request_.defaultExtension);
  std::vector<wchar_t> path(kPathCapacity, L'\0');
  const std::wstring initial = win32::Widen(request_.initialFileName);
  std::copy_n(initial.begin(), std::min(initial.size(), path.size() - 1), path.begin());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = request_.filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = request_.flags | OFN_EXPLORER | OFN_ENABLESIZING;

  HookedDialog hooked;
  win32::BoxAnswerer answerer;  // the dialog's own questions, under the test hook
  if (testhook::IsEnabled()) {
    testhook::internal::RecordFileDialog({request_, win32::WindowText(owner)});
    dialog.Flags |= OFN_ENABLEHOOK;
    dialog.lpfnHook = &AnswerFromTestHook;
    dialog.lCustData = reinterpret_cast<LPARAM>(&hooked);
  }
  const BOOL chosen =
      request_.openFileDialog ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen) return IDCANCEL;
  pathName_ = win32::Narrow(path.data());
  return IDOK;
}

std::string CFileDialog::GetPathName() const {
  return pathName_;
}

std::string CFileDialog::GetFileName() const {
  return FileNameOf(pathName_);
}

std::string CFileDialog::GetFileExt() const {
  const std::string name = FileNameOf(pathName_);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string CFileDialog::GetFileTitle() const {
  const std::string name = FileNameOf(pathName_);
  return name.substr(0, name.rfind('.'));
}

}  // namespace quillmark
