#pragma once

// Dialog templates kept as data: what a dialog resource script would say, read by the
// dialog framework to build each window. Positions and sizes are in dialog units: a
// horizontal unit is a quarter of the dialog font's average character width, a vertical
// unit an eighth of its height, so a layout keeps its proportions with any font.

#include <span>
#include <string_view>

namespace quillmark {

enum class ControlKind {
  PushButton,
  AutoCheckBox,
  AutoRadioButton,
  DropDownList,  // a combo box the user picks from but cannot type into
  ProgressBar,
  StaticText,
  Icon,  // shows the icon resource named by ControlTemplate::iconId
  Edit,  // a one-line text field
};

// Control style flags (combined with |).
inline constexpr unsigned kCtlGroup = 0x0001;          // starts a group (radio exclusivity)
inline constexpr unsigned kCtlTabStop = 0x0002;        // reached with Tab
inline constexpr unsigned kCtlDisabled = 0x0004;       // created disabled
inline constexpr unsigned kCtlDefaultButton = 0x0008;  // Enter activates it
inline constexpr unsigned kCtlBorder = 0x0010;         // thin frame around the control
// Looks the Qt controls have anyway, kept so the templates say all they mean: an open
// list scrolls when it has more entries than room, a check box centres its text
// vertically, a static text is left-aligned.
inline constexpr unsigned kCtlVScroll = 0x0020;
inline constexpr unsigned kCtlVCenter = 0x0040;
inline constexpr unsigned kCtlLeftAlign = 0x0080;
inline constexpr unsigned kCtlNumber = 0x0100;  // an edit field takes digits only

// Dialog style flags (combined with |).
inline constexpr unsigned kDlgCaption = 0x0001;      // title bar
inline constexpr unsigned kDlgSysMenu = 0x0002;      // system menu and close box
inline constexpr unsigned kDlgModalFrame = 0x0004;   // fixed-size dialog frame
inline constexpr unsigned kDlgSystemModal = 0x0008;  // stays above other windows
inline constexpr unsigned kDlgAppWindow = 0x0010;    // has its own task-bar entry
inline constexpr unsigned kDlgMinimizeBox = 0x0020;
inline constexpr unsigned kDlgMaximizeBox = 0x0040;

struct ControlTemplate {
  int id;  // IDC_STATIC for controls nobody addresses
  ControlKind kind;
  std::string_view caption;
  int x, y, cx, cy;  // dialog units; a drop-down list's height includes its open list
  unsigned style = 0;
  std::span<const std::string_view> initialEntries = {};  // drop-down list entries, in order
  int iconId = 0;                                         // ControlKind::Icon only
};

struct DialogTemplate {
  int id;
  std::string_view caption;
  int cx, cy;  // client area, dialog units; every dialog opens centred
  std::string_view fontFace;
  int fontPointSize;
  unsigned style;
  std::span<const ControlTemplate> controls;  // template order is tab order
};

// The template with this ID, or null when there is none.
const DialogTemplate* FindDialogTemplate(int id) noexcept;

// The string resource with this ID, or an empty string when there is none.
std::string_view LoadResourceString(int id) noexcept;

}  // namespace quillmark
