#include "framework/TestHook.h"

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

std::string DescribeDialog(const CDialog& dialog) {
  const std::string_view caption = dialog.Template() ? dialog.Template()->caption : "";
  return "dialog " + std::to_string(dialog.TemplateId()) + " \"" + std::string(caption) + "\"";
}

std::function<void(CDialog&)> TakeDialogAction(const CDialog& dialog) {
  HookState& state = State();
  if (state.dialogActions.empty()) {
    ReportFailure(DescribeDialog(dialog) + " opened with no action queued; closed as cancelled");
    return {};
  }
  DialogAction next = std::move(state.dialogActions.front());
  state.dialogActions.pop_front();
  if (next.templateId != dialog.TemplateId()) {
    ReportFailure(DescribeDialog(dialog) + " opened where an action for dialog " +
                  std::to_string(next.templateId) + " was queued; closed as cancelled");
    return {};
  }
  return std::move(next.action);
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
  ReportFailure("the action queued for " + DescribeDialog(dialog) +
                " expects another dialog class; closed as cancelled");
}

}  // namespace internal
}  // namespace quillmark::testhook
