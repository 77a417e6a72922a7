#pragma once

// What the command logic needs of a user interface, in its own words: to tell the user how
// a command ended, to ask whether to try a failed send again, to ask for a file, and to
// move the upper progress bar. The GUI implements it with real widgets (and the Win32
// values of its message boxes and file dialogs), the command-line tool with its arguments
// and the terminal, tests with scripted answers.

#include <cstdint>
#include <optional>
#include <string>

#include "port/PortTransport.h"
#include "text/Messages.h"

namespace quillmark {

enum class FileDialogKind { kOpen, kSaveAs };

// The file a command asks for.
struct FilePrompt {
  FileDialogKind kind = FileDialogKind::kOpen;
  std::string defaultExtension;     // appended to a typed name without extension ("BIN")
  std::string initialFileName;      // the name field's start text
  bool askBeforeReplacing = false;  // Save As: ask before an existing file is replaced
  std::string filter;               // "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"
};

struct FileDialogResult {
  std::string pathName;  // the full path of the chosen file
  std::string fileName;  // its name without the directory
};

class CommandUi {
 public:
  virtual ~CommandUi() = default;
  // Tells how a command ended ("Write Finish", "Read Error", "Communication Finish"...);
  // the window shows it in a modal box with OK.
  virtual void Tell(UserMessage message) = 0;
  // A send attempt failed, as `report` says: whether to try again. The window asks with
  // "Communication Error" (caption "Waring Message", Retry and Cancel, the report in
  // words as its details); false is Cancel.
  virtual bool RetryAfterFailedSend(const SendReport& report) = 0;
  // Asks for a file; an empty result is Cancel.
  virtual std::optional<FileDialogResult> ChooseFile(const FilePrompt& prompt) = 0;
  // The upper progress bar: its range 0 to `upper`, then positions within it.
  virtual void SetProgressRange(std::uint32_t upper) = 0;
  virtual void SetProgressPos(std::uint32_t pos) = 0;
};

}  // namespace quillmark
