#include "framework/win32/MessageBoxes.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "framework/TestHook.h"
#include "framework/win32/Win32.h"

namespace quillmark::win32 {
namespace {

struct AnswererState {
  int users = 0;
  HHOOK hook = nullptr;
  std::vector<HWND> answered;  // boxes already answered, until they are destroyed
  std::string details;         // the details ShowMessageBox put below its text
};

AnswererState& Answerer() {
  static AnswererState state;
  return state;
}

// The answer of a box closed without a button: Cancel, else OK in an OK box, else No.
int EscapeAnswer(const std::vector<int>& buttons) {
  if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
  return buttons.size() == 1 ? buttons.front() : IDNO;
}

unsigned ButtonSet(const std::vector<int>& buttons) {
  const std::pair<std::vector<int>, unsigned> sets[] = {{{IDOK}, MB_OK},
                                                        {{IDOK, IDCANCEL}, MB_OKCANCEL},
                                                        {{IDYES, IDNO}, MB_YESNO},
                                                        {{IDYES, IDNO, IDCANCEL}, MB_YESNOCANCEL},
                                                        {{IDRETRY, IDCANCEL}, MB_RETRYCANCEL}};
  for (const auto& [ids, type] : sets)
    if (ids == buttons) return type;
  return MB_OK;
}

// What the box shows, read from its windows.
testhook::ShownMessageBox ReadBox(HWND box) {
  testhook::ShownMessageBox shown;
  shown.caption = WindowText(box);
  shown.ownerCaption = WindowText(GetWindow(box, GW_OWNER));
  std::vector<std::pair<LONG, int>> buttons;  // left edge, ID
  HICON icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & WS_VISIBLE) == 0) continue;
    const std::wstring kind = ClassName(child);
    if (CompareStringOrdinal(kind.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) {
      RECT rect;
      GetWindowRect(child, &rect);
      buttons.emplace_back(rect.left, GetDlgCtrlID(child));
    } else if (CompareStringOrdinal(kind.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
      } else if (shown.text.empty()) {
        shown.text = WindowText(child);
      }
    }
  }
  // The details below the text, read back apart from it.
  const std::string& details = Answerer().details;
  const std::string tail = "\n\n" + details;
  if (!details.empty() && shown.text.size() > tail.size() &&
      shown.text.compare(shown.text.size() - tail.size(), tail.size(), tail) == 0) {
    shown.text.resize(shown.text.size() - tail.size());
    shown.details = details;
  }
  std::sort(buttons.begin(), buttons.end());
  for (const auto& button : buttons)
    shown.buttons.push_back(button.second);
  const std::pair<LPCWSTR, unsigned> icons[] = {{IDI_HAND, MB_ICONHAND},
                                                {IDI_QUESTION, MB_ICONQUESTION},
                                                {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                                                {IDI_ASTERISK, MB_ICONINFORMATION}};
  for (const auto& [resource, type] : icons)
    if (icon != nullptr && icon == LoadIconW(nullptr, resource)) shown.icon = type;
  const LRESULT defaultId = SendMessageW(box, DM_GETDEFID, 0, 0);
  if (HIWORD(defaultId) == DC_HASDEFID) shown.defaultButton = LOWORD(defaultId);
  const auto position = std::find(shown.buttons.begin(), shown.buttons.end(), shown.defaultButton);
  const auto defaultIndex =
      static_cast<unsigned>(position == shown.buttons.end() ? 0 : position - shown.buttons.begin());
  shown.type = ButtonSet(shown.buttons) | shown.icon | (defaultIndex << 8);
  return shown;
}

void AnswerBox(HWND box) {
  const testhook::ShownMessageBox shown = ReadBox(box);
  const std::optional<int> answer = testhook::internal::NextMessageBoxAnswer(shown);
  int press = EscapeAnswer(shown.buttons);
  if (answer) {
    if (std::find(shown.buttons.begin(), shown.buttons.end(), *answer) != shown.buttons.end()) {
      press = *answer;
    } else {
      testhook::internal::ReportFailure("the queued answer " + std::to_string(*answer) +
                                        " is not a button of the message box \"" + shown.text +
                                        "\"");
    }
  }
  // Pressed once the box's own modal loop runs.
  PostMessageW(GetDlgItem(box, press), BM_CLICK, 0, 0);
}

// A dialog of the system that is not one of the framework's, nor a file dialog (which has
// its "Look in" list).
bool IsMessageBox(HWND window) {
  return ClassName(window) == L"#32770" && GetPropW(window, kDialogProperty) == nullptr &&
         GetDlgItem(window, cmb2) == nullptr;
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
  auto& answered = Answerer().answered;
  const auto window = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_DESTROYWND) {
    answered.erase(std::remove(answered.begin(), answered.end(), window), answered.end());
  } else if (code == HCBT_ACTIVATE && IsMessageBox(window) &&
             std::find(answered.begin(), answered.end(), window) == answered.end()) {
    answered.push_back(window);
    AnswerBox(window);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

BoxAnswerer::BoxAnswerer() {
  AnswererState& state = Answerer();
  if (!testhook::IsEnabled() || state.users++ > 0) return;
  state.hook = SetWindowsHookExW(WH_CBT, &WatchBoxes, nullptr, GetCurrentThreadId());
}

BoxAnswerer::~BoxAnswerer() {
  AnswererState& state = Answerer();
  if (!testhook::IsEnabled() || --state.users > 0) return;
  if (state.hook != nullptr) UnhookWindowsHookEx(state.hook);
  state.hook = nullptr;
  state.answered.clear();
}

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, unsigned type,
                   const std::string& details) {
  BoxAnswerer answerer;
  Answerer().details = details;
  const std::wstring wideText = Widen(details.empty() ? text : text + "\n\n" + details);
  const std::wstring wideCaption = Widen(caption);
  // No caption gives the system's own, "Error".
  return MessageBoxW(owner, wideText.c_str(), caption.empty() ? nullptr : wideCaption.c_str(),
                     type);
}

}  // namespace quillmark::win32
