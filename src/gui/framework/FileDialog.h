#pragma once

// The Open and Save As dialogs, taking the arguments of a classic file dialog: a filter
// string of description|pattern pairs, a default extension and OFN_* flags. With the Win32
// backend they are the system's common dialogs; with Qt, QFileDialog.

#include <string>
#include <string_view>
#include <vector>

#include "framework/WinDefs.h"

#ifndef QUILLMARK_FRAMEWORK_WIN32
#include <QFileDialog>
#include <QStringList>
#include <QWidget>
#endif

namespace quillmark {

class CDialog;

inline constexpr unsigned OFN_FILEMUSTEXIST = 0x1000;  // Open: only an existing file

#ifndef QUILLMARK_FRAMEWORK_WIN32
struct FileFilter {
  std::string description;  // "Bitmap Files (*.bmp)"
  std::string patterns;     // "*.bmp", several separated by ';'
};

// "A (*.a)|*.a|B|b||": pairs of description and pattern, each ended by a bar, the list
// ended by a second bar. Parsing stops at an empty description; a description without a
// pattern is dropped.
std::vector<FileFilter> ParseFilterString(std::string_view filter);

// The same filters as Qt's name filters, "Description (pattern pattern)": patterns
// separated by blanks and "*.*" (every file on Windows) written "*". A description that
// already ends with its patterns in parentheses is not given them twice.
QStringList QtNameFilters(std::string_view filter);

// `path` with ".extension" appended when its file name has no extension; a name with any
// extension, or an empty extension, leaves it as typed.
std::string WithDefaultExtension(std::string_view path, std::string_view extension);
#endif

class CFileDialog {
 public:
  CFileDialog(bool openFileDialog, std::string defaultExtension = {}, std::string fileName = {},
              unsigned flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, std::string filter = {},
              CDialog* parent = nullptr);
  CFileDialog(const FileDialogRequest& request, CDialog* parent);

  // IDOK with a chosen file, IDCANCEL when cancelled. The first filter is preselected;
  // the default extension is appended to a name typed without one. A Save As dialog with
  // OFN_OVERWRITEPROMPT asks before an existing file is replaced; "No" returns to the
  // dialog.
  int DoModal();

#ifndef QUILLMARK_FRAMEWORK_WIN32
  // Sets up a Qt file dialog with these arguments, as DoModal does.
  void Configure(QFileDialog& dialog) const;
#endif

  std::string GetPathName() const;   // the full path
  std::string GetFileName() const;   // the name without the folder
  std::string GetFileExt() const;    // the extension without the dot
  std::string GetFileTitle() const;  // the name without folder and extension
  const FileDialogRequest& Request() const {
    return request_;
  }

 private:
  FileDialogRequest request_;
  CDialog* parent_;
#ifdef QUILLMARK_FRAMEWORK_WIN32
  std::string pathName_;  // UTF-8
#else
  bool ConfirmChoice(QWidget* owner, const QString& path) const;
  QString pathName_;
#endif
};

}  // namespace quillmark
