#include "framework/FileDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "framework/Dialog.h"
#include "framework/MessageBox.h"
#include "framework/TestHook.h"
#include "framework/WinApp.h"

namespace quillmark {
namespace {

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// "*.bmp;*.dib" -> "*.bmp *.dib"; "*.*" -> "*".
std::string QtPatterns(std::string_view patterns) {
  std::string result;
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(';', start);
    if (end == std::string_view::npos) end = patterns.size();
    std::string pattern = Trim(patterns.substr(start, end - start));
    if (pattern == "*.*") pattern = "*";
    if (!pattern.empty()) {
      if (!result.empty()) result += ' ';
      result += pattern;
    }
    start = end + 1;
  }
  return result;
}

QString FromNative(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToNative(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

std::vector<FileFilter> ParseFilterString(std::string_view filter) {
  std::vector<FileFilter> filters;
  std::size_t pos = 0;
  while (pos < filter.size()) {
    const std::size_t descriptionEnd = filter.find('|', pos);
    if (descriptionEnd == std::string_view::npos || descriptionEnd == pos) break;
    const std::size_t patternEnd = filter.find('|', descriptionEnd + 1);
    const std::string_view patterns = filter.substr(
        descriptionEnd + 1, patternEnd == std::string_view::npos ? std::string_view::npos
                                                                 : patternEnd - descriptionEnd - 1);
    if (patterns.empty()) break;
    filters.push_back(
        {std::string(filter.substr(pos, descriptionEnd - pos)), std::string(patterns)});
    if (patternEnd == std::string_view::npos) break;
    pos = patternEnd + 1;
  }
  return filters;
}

QStringList QtNameFilters(std::string_view filter) {
  QStringList result;
  for (const FileFilter& entry : ParseFilterString(filter)) {
    const std::string patterns = QtPatterns(entry.patterns);
    if (patterns.empty()) continue;
    std::string description = entry.description;
    // Qt reads the patterns from the description's last parentheses, so a description
    // that lists its patterns already gets them in Qt's spelling instead of twice.
    const std::size_t open = description.rfind('(');
    if (!description.empty() && description.back() == ')' && open != std::string::npos &&
        QtPatterns(std::string_view(description).substr(open + 1, description.size() - open - 2)) ==
            patterns) {
      description = description.substr(0, open) + "(" + patterns + ")";
    } else {
      description = Trim(description);
      description += description.empty() ? "(" + patterns + ")" : " (" + patterns + ")";
    }
    result.append(QString::fromStdString(description));
  }
  return result;
}

std::string WithDefaultExtension(std::string_view path, std::string_view extension) {
  while (!extension.empty() && extension.front() == '.')
    extension.remove_prefix(1);
  if (extension.empty()) return std::string(path);
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
#else
  const std::size_t slash = path.rfind('/');
#endif
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty() || name.find('.') != std::string_view::npos) return std::string(path);
  return std::string(path) + "." + std::string(extension);
}

CFileDialog::CFileDialog(bool openFileDialog, std::string defaultExtension, std::string fileName,
                         unsigned flags, std::string filter, CDialog* parent)
    : request_{openFileDialog, std::move(defaultExtension), std::move(fileName), flags,
               std::move(filter)},
      parent_(parent) {}

CFileDialog::CFileDialog(const FileDialogRequest& request, CDialog* parent)
    : request_(request), parent_(parent) {}

int CFileDialog::DoModal() {
  QWidget* owner = parent_ != nullptr ? parent_ : AfxGetMainWnd();
  pathName_.clear();

  if (testhook::IsEnabled()) {
    testhook::internal::RecordFileDialog(
        {request_, owner != nullptr ? owner->windowTitle().toStdString() : std::string()});
    for (;;) {
      const std::optional<std::string> typed = testhook::internal::NextFileDialogAnswer();
      if (!typed) return IDCANCEL;
      const QString path =
          QFileInfo(FromNative(WithDefaultExtension(*typed, request_.defaultExtension)))
              .absoluteFilePath();
      if (ConfirmChoice(owner, path)) {
        pathName_ = path;
        return IDOK;
      }
    }
  }

  QFileDialog dialog(owner);
  Configure(dialog);

  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return IDCANCEL;
    const QString typed = dialog.selectedFiles().front();
    const QString path =
        QFileInfo(FromNative(WithDefaultExtension(ToNative(typed), request_.defaultExtension)))
            .absoluteFilePath();
    if (ConfirmChoice(owner, path)) {
      pathName_ = path;
      return IDOK;
    }
    dialog.selectFile(path);
  }
}

void CFileDialog::Configure(QFileDialog& dialog) const {
  dialog.setWindowTitle(request_.openFileDialog ? QStringLiteral("Open")
                                                : QStringLiteral("Save As"));
  dialog.setAcceptMode(request_.openFileDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request_.openFileDialog && (request_.flags & OFN_FILEMUSTEXIST)
                         ? QFileDialog::ExistingFile
                         : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);  // asked by ConfirmChoice instead
  const QStringList filters = QtNameFilters(request_.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
  }
  if (!request_.defaultExtension.empty())
    dialog.setDefaultSuffix(QString::fromStdString(request_.defaultExtension));
  if (!request_.initialFileName.empty()) dialog.selectFile(FromNative(request_.initialFileName));
}

bool CFileDialog::ConfirmChoice(QWidget* owner, const QString& path) const {
  if (request_.openFileDialog || (request_.flags & OFN_OVERWRITEPROMPT) == 0) return true;
  const QFileInfo info(path);
  if (!info.exists()) return true;
  const std::string text =
      info.fileName().toStdString() + " already exists.\nDo you want to replace it?";
  return MessageBox(owner, text, "Confirm Save As",
                    MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

std::string CFileDialog::GetPathName() const {
  return ToNative(pathName_);
}

std::string CFileDialog::GetFileName() const {
  return ToNative(QFileInfo(pathName_).fileName());
}

std::string CFileDialog::GetFileExt() const {
  return ToNative(QFileInfo(pathName_).suffix());
}

std::string CFileDialog::GetFileTitle() const {
  return ToNative(QFileInfo(pathName_).completeBaseName());
}

}  // namespace quillmark
