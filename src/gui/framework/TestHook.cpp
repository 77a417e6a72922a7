#include "framework/TestHook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <utility>

#include "framework/Dialog.h"

namespace quillmark::testhook {
namespace {

struct DialogAction {
  int templateId;
  std::function<void(CDialog&)> action;
};

struct HookState {
  bool enabled = false;
  std::function<void(const std::string&)> failureHandler;
  std::deque<DialogAction> dialogActions;
  std::deque<int> messageBoxAnswers;
  std::deque<std::optional<std::string>> fileDialogAnswers;  // empty: Cancel
  std::vector<ShownMessageBox> shownMessageBoxes;
  std::vector<ShownFileDialog> shownFileDialogs;
};

HookState& State() {
  static HookState state;
  return state;
}

std::string Describe(const CDialog& dialog) {
  return "dialog " + std::to_string(dialog.TemplateId()) + " \"" +
         dialog.windowTitle().toStdString() + "\"";
}

}  // namespace

void Enable() {
  State().enabled = true;
}

bool IsEnabled() {
  return State().enabled;
}

void SetFailureHandler(std::function<void(const std::string&)> handler) {
  State().failureHandler = std::move(handler);
}

void QueueDialogAction(int templateId, std::function<void(CDialog&)> action) {
  State().dialogActions.push_back({templateId, std::move(action)});
}

void QueueMessageBoxAnswer(int buttonId) {
  State().messageBoxAnswers.push_back(buttonId);
}

void QueueFileDialogAnswer(std::string typedName) {
  State().fileDialogAnswers.emplace_back(std::move(typedName));
}

void QueueFileDialogCancel() {
  State().fileDialogAnswers.emplace_back(std::nullopt);
}

std::vector<ShownMessageBox> TakeShownMessageBoxes() {
  return std::exchange(State().shownMessageBoxes, {});
}

std::vector<ShownFileDialog> TakeShownFileDialogs() {
  return std::exchange(State().shownFileDialogs, {});
}

std::size_t PendingCount() {
  const HookState& state = State();
  return state.dialogActions.size() + state.messageBoxAnswers.size() +
         state.fileDialogAnswers.size();
}

void Reset() {
  HookState& state = State();
  state.dialogActions.clear();
  state.messageBoxAnswers.clear();
  state.fileDialogAnswers.clear();
  state.shownMessageBoxes.clear();
  state.shownFileDialogs.clear();
}

namespace internal {

void ReportFailure(const std::string& message) {
  const HookState& state = State();
  if (state.failureHandler) {
    state.failureHandler(message);
    return;
  }
  std::fprintf(stderr, "test hook: %s\n", message.c_str());
  std::abort();
}

void ScheduleDialogAction(CDialog& dialog) {
  HookState& state = State();
  std::function<void(CDialog&)> action;
  if (state.dialogActions.empty()) {
    ReportFailure(Describe(dialog) + " opened with no action queued; closed as cancelled");
  } else {
    DialogAction next = std::move(state.dialogActions.front());
    state.dialogActions.pop_front();
    if (next.templateId != dialog.TemplateId()) {
      ReportFailure(Describe(dialog) + " opened where an action for dialog " +
                    std::to_string(next.templateId) + " was queued; closed as cancelled");
    } else {
      action = std::move(next.action);
    }
  }
  QPointer<CDialog> guard(&dialog);
  QTimer::singleShot(0, &dialog, [guard, action = std::move(action)] {
    if (!guard) return;
    // The action works as a user would, on the active window with its focus in place.
    guard->activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (guard && !guard->isActiveWindow() && waited.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!guard) return;
    if (action) {
      action(*guard);
      if (guard && guard->IsRunningModal()) {
        ReportFailure(Describe(*guard) + " still open after its test action; closed as cancelled");
      }
    }
    if (guard && guard->IsRunningModal()) guard->EndDialog(IDCANCEL);
  });
}

std::optional<int> NextMessageBoxAnswer(const ShownMessageBox& shown) {
  HookState& state = State();
  state.shownMessageBoxes.push_back(shown);
  if (state.messageBoxAnswers.empty()) {
    ReportFailure("message box \"" + shown.caption + "\": \"" + shown.text +
                  "\" shown with no answer queued; closed as cancelled");
    return std::nullopt;
  }
  const int answer = state.messageBoxAnswers.front();
  state.messageBoxAnswers.pop_front();
  return answer;
}

void RecordFileDialog(const ShownFileDialog& shown) {
  State().shownFileDialogs.push_back(shown);
}

std::optional<std::string> NextFileDialogAnswer() {
  HookState& state = State();
  if (state.fileDialogAnswers.empty()) {
    ReportFailure("file dialog shown with no answer queued; cancelled");
    return std::nullopt;
  }
  std::optional<std::string> answer = std::move(state.fileDialogAnswers.front());
  state.fileDialogAnswers.pop_front();
  return answer;
}

void ReportWrongDialogType(const CDialog& dialog) {
  ReportFailure("the action queued for " + Describe(dialog) +
                " expects another dialog class; closed as cancelled");
}

}  // namespace internal
}  // namespace quillmark::testhook
