#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include "framework/Dialog.h"
#include "framework/TestHook.h"

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

// A left click in the middle of the control, as the user makes it.
inline void Click(const CDialog& dialog, int id) {
  QWidget* widget = Item(dialog, id);
  ASSERT_NE(widget, nullptr) << "no control " << id;
  QTest::mouseClick(widget, Qt::LeftButton);
}

// A key pressed where the focus is, as the user presses it.
inline void PressKey(CDialog& dialog, Qt::Key key) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr || target->window() != &dialog) target = &dialog;
  QTest::keyClick(target, key);
}

}  // namespace quillmark
