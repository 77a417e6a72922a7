#pragma once

// Handles to the controls of a dialog. A handle refers to a control that the dialog owns;
// copying a handle copies the reference. A handle that was never attached, or whose
// control is gone, does nothing and reads as empty, unchecked or unselected.
//
// The framework has two backends behind one interface: Qt Widgets, and Win32 itself (the
// system's dialog manager and controls) when QUILLMARK_FRAMEWORK_WIN32 is defined. A
// control's window is a QWidget in the one and an HWND in the other.

#include <string>

#include "raster/MonoImage.h"

#ifdef QUILLMARK_FRAMEWORK_WIN32
struct HWND__;
#else
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#endif

namespace quillmark {

#ifdef QUILLMARK_FRAMEWORK_WIN32
using WindowHandle = HWND__*;
#else
using WindowHandle = QWidget*;
#endif

// Check states (BM_GETCHECK, BM_SETCHECK).
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;
// A list's answer for "no entry" (CB_GETCURSEL, CB_SETCURSEL with a bad index).
inline constexpr int CB_ERR = -1;

#ifndef QUILLMARK_FRAMEWORK_WIN32
// The dynamic property of a control's widget that holds its control ID.
inline constexpr char kControlIdProperty[] = "quillmarkControlId";
#endif

class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(WindowHandle window) : widget_(window) {}

  void Attach(WindowHandle window) { widget_ = window; }
#ifdef QUILLMARK_FRAMEWORK_WIN32
  WindowHandle GetSafeHwnd() const;  // null once the control is gone
  explicit operator bool() const {
    return GetSafeHwnd() != nullptr;
  }
#else
  WindowHandle GetSafeHwnd() const {
    return widget_.data();
  }
  explicit operator bool() const {
    return !widget_.isNull();
  }
#endif

  // The control ID the dialog template gave it; 0 when not attached.
  int GetDlgCtrlID() const;
  // A button's or a static text's caption, an edit field's text, a dialog's title.
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  // The text shown when the pointer rests on the control; empty shows none.
  void SetToolTipText(const std::string& text);
  // The same with a one-bit picture above the text, drawn a pixel a dot (scaled down to
  // fit the screen), black on white. The Qt backend shows it as a rich-text tip; the
  // Win32 tip shows the text alone, and GetToolTipText gives back that text.
  void SetToolTipText(const std::string& text, const MonoImageView& picture);
  std::string GetToolTipText() const;
  // Returns whether the control was disabled before the call.
  bool EnableWindow(bool enable);
  bool IsWindowEnabled() const;

 protected:
#ifdef QUILLMARK_FRAMEWORK_WIN32
  HWND__* widget_ = nullptr;
#else
  QPointer<QWidget> widget_;
#endif
};

// A push button, check box or radio button.
class CButton : public CWnd {
 public:
  using CWnd::CWnd;
  int GetCheck() const;  // BST_CHECKED or BST_UNCHECKED
  void SetCheck(int check);
};

// A drop-down list.
class CComboBox : public CWnd {
 public:
  using CWnd::CWnd;
  int GetCurSel() const;  // CB_ERR when nothing is selected
  // Selects entry `index`; -1 clears the selection. Returns the index, or CB_ERR when it
  // is out of range (the selection is then cleared, as a list control does).
  int SetCurSel(int index);
  int AddString(const std::string& text);  // returns the new entry's index
  int GetCount() const;
  std::string GetLBText(int index) const;  // empty when out of range
};

// A progress bar.
class CProgressCtrl : public CWnd {
 public:
  using CWnd::CWnd;
  void SetRange(short lower, short upper) { SetRange32(lower, upper); }
  void SetRange32(int lower, int upper);
  void GetRange(int& lower, int& upper) const;
  // Moves the bar to `pos`, kept within the range, and repaints it at once, so the user
  // sees it move even while the caller keeps the UI thread busy. Returns the old position.
  int SetPos(int pos);
  int GetPos() const;
};

#ifndef QUILLMARK_FRAMEWORK_WIN32
// The widget behind a progress-bar control. It keeps the range and position a progress
// control has: the range 0 to 100 at the start, the position clamped into the range, and
// an empty bar (not a busy indicator) when the range is empty.
class ProgressBarControl : public QProgressBar {
 public:
  explicit ProgressBarControl(QWidget* parent);
  void SetControlRange(int lower, int upper);
  int SetControlPos(int pos);
  int ControlLower() const { return lower_; }
  int ControlUpper() const { return upper_; }
  int ControlPos() const { return pos_; }

 private:
  void Show(bool rangeChanged);
  int lower_ = 0;
  int upper_ = 100;
  int pos_ = 0;
};
#endif

}  // namespace quillmark
