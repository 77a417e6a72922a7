// The main window, start-up with the access code, the Target Printer dialog and the
// About box.

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "GuiTest.h"

namespace quillmark {
namespace {

int Id(const QWidget* widget) {
  return widget ? widget->property(kControlIdProperty).toInt() : 0;
}

bool Centred(const QWidget& window, const QRect& over) {
  return (window.frameGeometry().center() - over.center()).manhattanLength() <= 2;
}

using MainWindow = GuiTest;

TEST_F(MainWindow, HasTheTemplateControlsInTabOrder) {
  struct Expected {
    int id;
    const char* kind;
    const char* caption;
    int x, y, cx, cy;
  };
  const Expected expected[] = {
      {1, "QPushButton", "Exit", 180, 138, 60, 16},
      {1006, "QCheckBox", "Bitmap1  :", 10, 10, 160, 10},
      {1007, "QCheckBox", "Bitmap2  :", 10, 26, 160, 10},
      {1008, "QCheckBox", "Bitmap3  :", 10, 42, 160, 10},
      {1009, "QCheckBox", "Bitmap4  :", 10, 58, 160, 10},
      {1010, "QCheckBox", "Bitmap5  :", 10, 74, 160, 10},
      {1011, "QCheckBox", "Bitmap6  :", 10, 90, 160, 10},
      {1012, "QCheckBox", "Bitmap7  :", 10, 106, 160, 10},
      {1013, "QCheckBox", "Bitmap8  :", 10, 122, 160, 10},
      {1014, "QCheckBox", "Bitmap9  :", 10, 138, 160, 10},
      {1015, "QCheckBox", "Bitmap10 :", 10, 154, 160, 10},
      {1016, "QProgressBar", "", 10, 180, 230, 10},
      {1017, "QProgressBar", "", 10, 200, 230, 10},
      {1001, "QPushButton", "DownLoad", 180, 18, 60, 16},
      {1002, "QPushButton", "Print", 180, 42, 60, 16},
      {1003, "QPushButton", "Patch", 180, 66, 60, 16},
      {1004, "QPushButton", "File", 180, 90, 60, 16},
      {1005, "QPushButton", "Port", 180, 114, 60, 16},
  };
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Quillmark");
    EXPECT_EQ(dialog.size(),
              QSize(MapDialogX(dialog.BaseUnits(), 250), MapDialogY(dialog.BaseUnits(), 220)));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(Centred(dialog, dialog.screen()->availableGeometry()));
    // Template order is the order of creation.
    std::vector<int> order;
    for (QObject* child : Item(dialog, IDOK)->parentWidget()->children())
      if (child->isWidgetType()) order.push_back(Id(static_cast<QWidget*>(child)));
    ASSERT_EQ(order.size(), std::size(expected));
    for (std::size_t i = 0; i < order.size(); ++i) {
      const Expected& want = expected[i];
      SCOPED_TRACE(want.id);
      EXPECT_EQ(order[i], want.id);
      QWidget* widget = Item(dialog, want.id);
      ASSERT_NE(widget, nullptr);
      EXPECT_TRUE(widget->inherits(want.kind));
      EXPECT_EQ(dialog.GetDlgItem(want.id).GetWindowText(), want.caption);
      EXPECT_EQ(widget->geometry(),
                MapDialogRect(dialog.BaseUnits(), want.x, want.y, want.cx, want.cy));
    }
    auto* exit = qobject_cast<QPushButton*>(Item(dialog, IDOK));
    EXPECT_TRUE(exit->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), exit);
    // Tab visits the tab stops in template order, skipping the disabled Patch.
    std::vector<int> visited;
    for (int i = 0; i < 16; ++i) {
      PressKey(dialog, Qt::Key_Tab);
      visited.push_back(Id(QApplication::focusWidget()));
    }
    EXPECT_EQ(visited, (std::vector<int>{1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015,
                                         1001, 1002, 1004, 1005, 1, 1006}));
  });
}

TEST_F(MainWindow, ExitEnterEscAndTheCloseBoxEndTheRun) {
  struct Case {
    const char* how;
    MainAction end;
    int result;
  };
  const Case cases[] = {
      {"Exit clicked", [](CQuillmarkDlg& d) { Click(d, IDOK); }, IDOK},
      {"Enter", [](CQuillmarkDlg& d) { PressKey(d, Qt::Key_Return); }, IDOK},
      {"Enter on a slot box",
       [](CQuillmarkDlg& d) {
         Item(d, 1008)->setFocus();
         PressKey(d, Qt::Key_Return);
       },
       IDOK},
      {"Esc", [](CQuillmarkDlg& d) { PressKey(d, Qt::Key_Escape); }, IDCANCEL},
      {"close box", [](CQuillmarkDlg& d) { d.close(); }, IDCANCEL},
      {"Close in the system menu",
       [](CQuillmarkDlg& d) { d.GetSystemMenu(false)->ContextMenu()->actions()[0]->trigger(); },
       IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    EXPECT_EQ(RunMainWindow([&](CQuillmarkDlg& d) {
                c.end(d);
                EXPECT_FALSE(d.IsRunningModal());
              }),
              c.result);
  }
}

TEST_F(MainWindow, OnlyTheExactAccessCodeOffersPatch) {
  const std::pair<std::vector<const char*>, bool> cases[] = {
      {{"QXV"}, true},      {{}, false},       {{"qxv"}, false},
      {{"QXV "}, false},    {{" QXV"}, false}, {{"QXV", "x"}, false},
      {{"QXV", ""}, false}, {{"QXVQ"}, false}, {{"QX"}, false},
  };
  for (const auto& [arguments, patch] : cases) {
    SCOPED_TRACE(arguments.empty() ? "" : arguments[0]);
    RunProgram(arguments, [&](CQuillmarkDlg& dialog) {
      EXPECT_EQ(AfxGetMainWnd(), &dialog);  // the owner of the dialogs opened from it
      EXPECT_EQ(dialog.GetDlgItem(IDC_PATCH).IsWindowEnabled(), patch);
    });
  }
}

TEST_F(MainWindow, TargetPrinterGivesTheCheckedModelOnlyOnOk) {
  struct Case {
    int radio;
    std::function<void(CDialog&)> close;
    std::uint32_t nvCapacity;
    std::int32_t widthBytes;
  };
  const auto ok = [](CDialog& d) { Click(d, IDOK); };
  const Case cases[] = {
      {1023, ok, 0x40000, 72},
      {1024, ok, 0x80000, 72},
      {1025, ok, 0x20000, 72},
      {1026, ok, 0x80000, 104},
      {1026, [](CDialog& d) { PressKey(d, Qt::Key_Escape); }, 0, 0},
      {1026, [](CDialog& d) { d.close(); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    testhook::QueueDialogAction(IDD_TARGET_PRINTER, [&](CDialog& target) {
      EXPECT_EQ(target.windowTitle(), "Target Printer");
      EXPECT_EQ(target.GetCheckedRadioButton(1023, 1026), 1023);
      Click(target, c.radio);
      c.close(target);
    });
    testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
      EXPECT_EQ(dialog.appState.nvCapacity, c.nvCapacity);
      EXPECT_EQ(dialog.appState.widthBytes, c.widthBytes);
      Click(dialog, IDOK);
    });
    CQuillmarkDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
  }
}

void QueueAboutBox() {
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog& about) {
    EXPECT_EQ(about.windowTitle(), "About Quillmark");
    bool versionShown = false;
    for (QLabel* label : about.findChildren<QLabel*>())
      versionShown |= label->text() == "Quillmark Version 1.8.0.0";
    EXPECT_TRUE(versionShown);
    EXPECT_TRUE(qobject_cast<QPushButton*>(Item(about, IDOK))->isDefault());
    PressKey(about, Qt::Key_Return);
  });
}

TEST_F(MainWindow, TheSystemMenuAndMaskedCommandsOpenTheAboutBox) {
  RunMainWindow([](CQuillmarkDlg& dialog) {
    // A right click shows the system menu: Close, a separator, About.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            dialog.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dialog, &event);
    QMenu* menu = dialog.GetSystemMenu(false)->ContextMenu();
    ASSERT_TRUE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Close");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "&About Quillmark...");
    QueueAboutBox();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(actions[2]).center());
    EXPECT_EQ(testhook::PendingCount(), 0u) << "the About box did not open";

    // The low four bits of a command do not count; other commands open nothing (the hook
    // would report an About box with no action queued).
    const std::pair<unsigned, bool> commands[] = {
        {0x0011, true}, {0x001F, true}, {0x0000, false}, {0x0020, false}, {0xF010, false}};
    for (const auto& [id, opens] : commands) {
      if (opens) QueueAboutBox();
      dialog.SendNotification(Notification::SysCommand, 0, id);
      EXPECT_EQ(testhook::PendingCount(), 0u) << id;
      EXPECT_TRUE(dialog.IsRunningModal()) << id;
    }
  });
}

}  // namespace
}  // namespace quillmark
