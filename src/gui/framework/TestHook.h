#pragma once

// The test hook: lets a test run real dialogs, message boxes and file dialogs unattended.
// Once enabled, every modal run takes its answer from a queue filled by the test:
//  - a CDialog's DoModal runs the next queued dialog action while the dialog is on the
//    screen; the action clicks, types and checks, and must end the dialog;
//  - a message box is really created, and the queued button is pressed on it;
//  - a file dialog takes the next queued name (as typed into its name field) or Cancel,
//    and then behaves as the real one does: default extension, overwrite question.
// Whatever was shown can be read back. A modal run with nothing queued, or with an
// answer that does not fit, is reported to the failure handler and closed as cancelled,
// so a test fails with a message instead of hanging.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/WinDefs.h"

namespace quillmark {

class CDialog;

namespace testhook {

// Switches the hook on for the rest of the process.
void Enable();
bool IsEnabled();
// Called with a description of every failure; without one, a failure is printed to
// standard error and the process aborts.
void SetFailureHandler(std::function<void(const std::string&)> handler);

// Runs `action` on the next dialog that starts a modal run, which must be built from
// template `templateId`.
void QueueDialogAction(int templateId, std::function<void(CDialog&)> action);
template <class Dialog>
void QueueDialogAction(int templateId, std::function<void(Dialog&)> action);

// The button (IDOK, IDCANCEL, IDRETRY, IDYES, IDNO) pressed on the next message box.
void QueueMessageBoxAnswer(int buttonId);
// The next file dialog: a name typed into it (a path, absolute or relative to the
// current folder), or Cancel.
void QueueFileDialogAnswer(std::string typedName);
void QueueFileDialogCancel();

struct ShownMessageBox {
  std::string text;
  std::string caption;
  unsigned type = 0;         // the MB_* type asked for
  unsigned icon = 0;         // the MB_ICON* value of the icon the box shows
  std::vector<int> buttons;  // the IDs of the buttons the box shows, in order
  int defaultButton = 0;     // the ID of the button Enter presses
  std::string ownerCaption;  // the title of the owner window, empty without owner
  std::string details;       // the text behind "Show Details...", empty without
};
struct ShownFileDialog {
  FileDialogRequest request;
  std::string ownerCaption;
};
// What was shown since the last call, oldest first.
std::vector<ShownMessageBox> TakeShownMessageBoxes();
std::vector<ShownFileDialog> TakeShownFileDialogs();

// Queued answers and actions not used yet.
std::size_t PendingCount();
// Drops everything queued and recorded.
void Reset();

// Used by the framework.
namespace internal {
void ReportFailure(const std::string& message);
// Schedules the next queued action for `dialog`, which is about to run modally (each
// backend runs it once the dialog is on the screen and active).
void ScheduleDialogAction(CDialog& dialog);
// The next queued action, when it was queued for `dialog`; empty (after reporting) when
// none was, or one for another dialog.
std::function<void(CDialog&)> TakeDialogAction(const CDialog& dialog);
// "dialog 130 \"Target Printer\"", for reports.
std::string DescribeDialog(const CDialog& dialog);
// Records the box and returns the queued answer; empty (after reporting) when none.
std::optional<int> NextMessageBoxAnswer(const ShownMessageBox& shown);
void RecordFileDialog(const ShownFileDialog& shown);
// The next file-dialog answer: a typed name, or empty for Cancel (after reporting when
// nothing was queued).
std::optional<std::string> NextFileDialogAnswer();
// For the template: the dialog's type check.
void ReportWrongDialogType(const CDialog& dialog);
}  // namespace internal

template <class Dialog>
void QueueDialogAction(int templateId, std::function<void(Dialog&)> action) {
  QueueDialogAction(templateId, [action = std::move(action)](CDialog& dialog) {
    if (auto* typed = dynamic_cast<Dialog*>(&dialog)) {
      action(*typed);
    } else {
      internal::ReportWrongDialogType(dialog);
    }
  });
}

}  // namespace testhook
}  // namespace quillmark
