// The main window, start-up with the access code, the Target Printer dialog and the
// About box, driven through real widgets on the offscreen platform.

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <functional>
#include <vector>

#include "GuiTest.h"
#include "app/QuillmarkApp.h"
#include "app/QuillmarkDlg.h"
#include "dialogs/TargetPrinterDlg.h"
#include "res/Resource.h"

namespace quillmark {
namespace {

using MainAction = std::function<void(CQuillmarkDlg&)>;

// Target Printer confirmed at once, then `action` on the main window.
void QueueMainWindow(MainAction action) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [](CDialog& dialog) { Click(dialog, IDOK); });
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, std::move(action));
}

int Id(const QWidget* widget) {
  return widget ? widget->property(kControlIdProperty).toInt() : 0;
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
  QueueMainWindow([&](CQuillmarkDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Quillmark");
    EXPECT_EQ(dialog.size(),
              QSize(MapDialogX(dialog.BaseUnits(), 250), MapDialogY(dialog.BaseUnits(), 220)));
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
    // Tab from Exit visits the tab stops in template order, skipping the disabled Patch.
    std::vector<int> visited;
    for (int i = 0; i < 16; ++i) {
      PressKey(dialog, Qt::Key_Tab);
      visited.push_back(Id(QApplication::focusWidget()));
    }
    EXPECT_EQ(visited, (std::vector<int>{1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015,
                                         1001, 1002, 1004, 1005, 1, 1006}));
    // Both bars start empty at the default range.
    for (CProgressCtrl* bar : {&dialog.sendProgress, &dialog.memoryGauge}) {
      int lower = -1, upper = -1;
      bar->GetRange(lower, upper);
      EXPECT_EQ(lower, 0);
      EXPECT_EQ(upper, 100);
      EXPECT_EQ(bar->GetPos(), 0);
    }
    // The bound check boxes drive controls 1006 to 1015.
    for (int slot = 1; slot <= kSlotCount; ++slot)
      EXPECT_EQ(dialog.slotChecks[static_cast<std::size_t>(slot - 1)].GetDlgCtrlID(), 1005 + slot);
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(MainWindow, IsATopmostCentredDialogWithTheAppIcon) {
  QueueMainWindow([](CQuillmarkDlg& dialog) {
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QRect screen = dialog.screen()->availableGeometry();
    EXPECT_LE((dialog.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    const QList<QSize> sizes = dialog.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(MainWindow, ExitEnterEscAndTheCloseBoxEndTheRun) {
  struct Case {
    const char* how;
    std::function<void(CQuillmarkDlg&)> end;
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
       [](CQuillmarkDlg& d) {
         d.GetSystemMenu(false)->ContextMenu()->actions().front()->trigger();
       },
       IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    QueueMainWindow(c.end);
    CQuillmarkDlg dialog;
    EXPECT_EQ(dialog.DoModal(), c.result);
  }
}

TEST_F(MainWindow, EnterOnAnotherPushButtonPressesThatButton) {
  QueueMainWindow([](CQuillmarkDlg& dialog) {
    // Port takes the Enter: its dialog opens, and the main window stays open.
    testhook::QueueDialogAction(IDD_PORT_SETTING, [](CDialog& port) { port.EndDialog(IDCANCEL); });
    Item(dialog, IDC_PORT)->setFocus();
    PressKey(dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.IsRunningModal());
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(MainWindow, OnlyTheExactAccessCodeOffersPatch) {
  struct Case {
    std::vector<const char*> arguments;  // after the program name
    bool patch;
  };
  const Case cases[] = {
      {{"QXV"}, true},      {{}, false},       {{"qxv"}, false},
      {{"QXV "}, false},    {{" QXV"}, false}, {{"QXV", "x"}, false},
      {{"QXV", ""}, false}, {{"QXVQ"}, false}, {{"QX"}, false},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"quillmark"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    CQuillmarkApp app;
    app.SetCommandLine(static_cast<int>(argv.size()), argv.data());
    SCOPED_TRACE("command line \"" + app.m_lpCmdLine + "\"");
    QueueMainWindow([&](CQuillmarkDlg& dialog) {
      EXPECT_EQ(AfxGetMainWnd(), &dialog);
      EXPECT_EQ(dialog.appState.patchEnabled, c.patch ? 1 : 0);
      EXPECT_EQ(dialog.GetDlgItem(IDC_PATCH).IsWindowEnabled(), c.patch);
      Click(dialog, IDOK);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
  }
}

TEST_F(MainWindow, TargetPrinterOkStoresTheCheckedModel) {
  struct Case {
    int radio;  // 0: OK at once
    std::uint32_t nvCapacity;
    std::int32_t widthBytes;
  };
  const Case cases[] = {
      {0, 0x40000, 72},     {1024, 0x80000, 72}, {1025, 0x20000, 72},
      {1026, 0x80000, 104}, {1023, 0x40000, 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    testhook::QueueDialogAction(IDD_TARGET_PRINTER, [&](CDialog& target) {
      EXPECT_EQ(target.windowTitle(), "Target Printer");
      EXPECT_EQ(target.GetCheckedRadioButton(1023, 1026), 1023);
      if (c.radio != 0) {
        Click(target, c.radio);
        EXPECT_EQ(target.GetCheckedRadioButton(1023, 1026), c.radio);
      }
      Click(target, IDOK);
    });
    testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
      EXPECT_EQ(dialog.appState.nvCapacity, c.nvCapacity);
      EXPECT_EQ(dialog.appState.widthBytes, c.widthBytes);
      dialog.EndDialog(IDOK);
    });
    CQuillmarkDlg dialog;
    dialog.DoModal();
  }
}

TEST_F(MainWindow, TargetPrinterClosedWithoutOkLeavesZeroAndTheWindowOpens) {
  const std::function<void(CDialog&)> ways[] = {
      [](CDialog& d) { PressKey(d, Qt::Key_Escape); },
      [](CDialog& d) { d.close(); },
  };
  for (const auto& closeTarget : ways) {
    testhook::QueueDialogAction(IDD_TARGET_PRINTER, [&](CDialog& target) {
      EXPECT_EQ(target.GetDlgItem(IDCANCEL).GetSafeHwnd(), nullptr);  // no Cancel button
      Click(target, 1026);
      closeTarget(target);
    });
    bool opened = false;
    testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
      opened = true;
      EXPECT_EQ(dialog.appState.nvCapacity, 0u);
      EXPECT_EQ(dialog.appState.widthBytes, 0);
      Click(dialog, IDOK);
    });
    CQuillmarkDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(opened);
  }
}

void QueueAboutBox() {
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog& about) {
    EXPECT_EQ(about.windowTitle(), "About Quillmark");
    EXPECT_EQ(about.GetDlgItem(IDC_STATIC).GetSafeHwnd() != nullptr, true);
    auto* ok = qobject_cast<QPushButton*>(Item(about, IDOK));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    bool versionShown = false;
    for (QLabel* label : about.findChildren<QLabel*>()) {
      versionShown |= label->text() == "Quillmark Version 1.8.0.0";
    }
    EXPECT_TRUE(versionShown);
    PressKey(about, Qt::Key_Return);
  });
}

TEST_F(MainWindow, ContextMenuEntryOpensTheAboutBox) {
  QueueMainWindow([](CQuillmarkDlg& dialog) {
    // A right click on the window shows its system menu: Close, a separator, About.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            dialog.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dialog, &event);
    QMenu* menu = dialog.GetSystemMenu(false)->ContextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Close");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), "&About Quillmark...");
    QueueAboutBox();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(actions[2]).center());
    EXPECT_EQ(testhook::PendingCount(), 0u) << "the About box did not open";
    EXPECT_TRUE(dialog.IsRunningModal());
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(MainWindow, SystemCommandsMaskedToTheAboutIdOpenTheAboutBox) {
  QueueMainWindow([](CQuillmarkDlg& dialog) {
    for (unsigned id : {0x0010u, 0x0011u, 0x0015u, 0x001Fu}) {
      QueueAboutBox();
      dialog.SendNotification(Notification::SysCommand, 0, id);
      EXPECT_EQ(testhook::PendingCount(), 0u) << id;
    }
    // Other commands open nothing; the hook would report an About box with no action.
    for (unsigned id : {0x0000u, 0x0020u, 0x0110u, 0xF010u}) {
      dialog.SendNotification(Notification::SysCommand, 0, id);
      EXPECT_TRUE(dialog.IsRunningModal()) << id;
    }
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(MainWindow, MinimisedItDrawsTheIconCentred) {
  QueueMainWindow([](CQuillmarkDlg& dialog) {
    dialog.showMinimized();
    ASSERT_TRUE(dialog.IsIconic());
    const QImage picture = dialog.grab().toImage();
    const QImage icon =
        dialog.appIcon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint at((dialog.width() - 32 + 1) / 2, (dialog.height() - 32 + 1) / 2);
    int differing = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (qAlpha(icon.pixel(x, y)) == 255 &&
            picture.pixelColor(at.x() + x, at.y() + y) != icon.pixelColor(x, y))
          ++differing;
    EXPECT_EQ(differing, 0);
    dialog.showNormal();
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

}  // namespace
}  // namespace quillmark
