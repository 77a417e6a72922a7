#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <functional>
#include <vector>

#include "framework/TestHook.h"
#include "mainwindow/QuillmarkApp.h"
#include "mainwindow/QuillmarkDlg.h"
#include "res/Resource.h"

namespace quillmark {

// Every GUI test starts with nothing queued and must use all it queued.
class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override { testhook::Reset(); }
  void TearDown() override {
    EXPECT_EQ(testhook::PendingCount(), 0u) << "queued answers or actions were not used";
    testhook::Reset();
  }
};

inline QWidget* Item(const CDialog& dialog, int id) {
  return dialog.GetDlgItem(id).GetSafeHwnd();
}

// A left click in the middle of the control.
inline void Click(const CDialog& dialog, int id) {
  QWidget* widget = Item(dialog, id);
  ASSERT_NE(widget, nullptr) << "no control " << id;
  QTest::mouseClick(widget, Qt::LeftButton);
}

// A key pressed where the focus is.
inline void PressKey(CDialog& dialog, Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr || target->window() != &dialog) target = &dialog;
  QTest::keyClick(target, key);
}

using MainAction = std::function<void(CQuillmarkDlg&)>;
using DialogAction = std::function<void(CDialog&)>;

// Closes the Target Printer dialog, which opens with the first model checked, with OK on
// model `radio`, or with Esc when it is 0 (the tests of the slots check what each gives).
inline DialogAction ChooseModel(int radio) {
  return [radio](CDialog& target) {
    EXPECT_EQ(target.GetCheckedRadioButton(IDC_MODEL_FIRST, IDC_MODEL_LAST), IDC_MODEL_FIRST);
    if (radio == 0) return PressKey(target, Qt::Key_Escape);
    Click(target, radio);
    Click(target, IDOK);
  };
}

// Queues a run of the main window: `target` on the Target Printer dialog, then `action`,
// then Exit unless the action ended the run.
inline void QueueMainWindow(MainAction action, DialogAction target = ChooseModel(IDC_MODEL_FIRST)) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, std::move(target));
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG,
                                             [action = std::move(action)](CQuillmarkDlg& dialog) {
                                               action(dialog);
                                               if (dialog.IsRunningModal()) Click(dialog, IDOK);
                                             });
}

inline int RunMainWindow(MainAction action, DialogAction target = ChooseModel(IDC_MODEL_FIRST)) {
  QueueMainWindow(std::move(action), std::move(target));
  return CQuillmarkDlg().DoModal();
}

// The same through the application, started with `arguments` after the program name.
inline void RunProgram(std::vector<const char*> arguments, MainAction action) {
  arguments.insert(arguments.begin(), "quillmark");
  CQuillmarkApp app;
  app.SetCommandLine(static_cast<int>(arguments.size()), arguments.data());
  QueueMainWindow(std::move(action));
  EXPECT_FALSE(app.InitInstance());
}

}  // namespace quillmark
