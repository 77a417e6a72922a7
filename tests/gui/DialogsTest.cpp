// The program's dialogs: the main window, the access code, Target Printer, About and
// Port Setting.

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "GuiTest.h"
#include "dialogs/PortSettingDlg.h"

namespace quillmark {
namespace {

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
    EXPECT_EQ(dialog.size(), MapDialogRect(dialog.BaseUnits(), 0, 0, 250, 220).size());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Centred(dialog, dialog.screen()->availableGeometry()));
    for (const auto& [id, kind, caption, x, y, cx, cy] : expected) {
      QWidget* widget = Item(dialog, id);
      ASSERT_NE(widget, nullptr) << id;
      EXPECT_TRUE(widget->inherits(kind)) << id;
      EXPECT_EQ(dialog.GetDlgItem(id).GetWindowText(), caption);
      EXPECT_EQ(widget->geometry(), MapDialogRect(dialog.BaseUnits(), x, y, cx, cy)) << id;
    }
    auto* exit = qobject_cast<QPushButton*>(Item(dialog, IDOK));
    EXPECT_TRUE(exit->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), exit);
    // Tab visits the tab stops in template order, skipping the disabled Patch.
    std::vector<int> visited;
    for (int i = 0; i < 16; ++i) {
      PressKey(dialog, Qt::Key_Tab);
      visited.push_back(QApplication::focusWidget()->property(kControlIdProperty).toInt());
    }
    EXPECT_EQ(visited, (std::vector<int>{1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015,
                                         1001, 1002, 1004, 1005, 1, 1006}));
  });
}

TEST_F(MainWindow, ExitEnterEscAndTheCloseBoxEndTheRun) {
  const std::pair<MainAction, int> cases[] = {
      {[](CQuillmarkDlg& d) { Click(d, IDOK); }, IDOK},
      {[](CQuillmarkDlg& d) { PressKey(d, Qt::Key_Return); }, IDOK},
      {[](CQuillmarkDlg& d) {
         Item(d, 1008)->setFocus();  // Enter on a slot box presses Exit too
         PressKey(d, Qt::Key_Return);
       },
       IDOK},
      {[](CQuillmarkDlg& d) { PressKey(d, Qt::Key_Escape); }, IDCANCEL},
      {[](CQuillmarkDlg& d) { d.close(); }, IDCANCEL},
      {[](CQuillmarkDlg& d) { d.GetSystemMenu(false)->ContextMenu()->actions()[0]->trigger(); },
       IDCANCEL},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const int result = RunMainWindow([&](CQuillmarkDlg& d) {
      cases[i].first(d);
      EXPECT_FALSE(d.IsRunningModal()) << i;
    });
    EXPECT_EQ(result, cases[i].second) << i;
  }
}

TEST_F(MainWindow, OnlyTheExactAccessCodeOffersPatch) {
  const std::pair<std::vector<const char*>, bool> cases[] = {
      {{"QXV"}, true},      {{}, false},       {{"qxv"}, false},
      {{"QXV "}, false},    {{" QXV"}, false}, {{"QXV", "x"}, false},
      {{"QXV", ""}, false}, {{"QXVQ"}, false}, {{"QX"}, false},
  };
  for (const auto& c : cases) {
    RunProgram(c.first, [&](CQuillmarkDlg& dialog) {
      EXPECT_EQ(AfxGetMainWnd(), &dialog);  // the owner of the dialogs opened from it
      EXPECT_EQ(dialog.GetDlgItem(IDC_PATCH).IsWindowEnabled(), c.second) << c.first.size();
    });
  }
}

TEST_F(MainWindow, TargetPrinterGivesTheCheckedModelOnlyOnOk) {
  const DialogAction ok = [](CDialog& d) { Click(d, IDOK); };
  const std::tuple<int, DialogAction, std::uint32_t, std::int32_t> cases[] = {
      {1023, ok, 0x40000, 72},
      {1024, ok, 0x80000, 72},
      {1025, ok, 0x20000, 72},
      {1026, ok, 0x80000, 104},
      {1026, [](CDialog& d) { PressKey(d, Qt::Key_Escape); }, 0, 0},
      {1026, [](CDialog& d) { d.close(); }, 0, 0},
  };
  for (const auto& [radio, close, nvCapacity, widthBytes] : cases) {
    std::pair<std::uint32_t, std::int32_t> chosen;
    const auto look = [&chosen](CQuillmarkDlg& d) {
      chosen = {d.appState.nvCapacity, d.appState.widthBytes};
    };
    RunMainWindow(look, [radio = radio, &close = close](CDialog& target) {
      EXPECT_EQ(target.windowTitle(), "Target Printer");
      EXPECT_EQ(target.GetCheckedRadioButton(1023, 1026), 1023);
      Click(target, radio);
      close(target);
    });
    EXPECT_EQ(chosen, std::make_pair(nvCapacity, widthBytes)) << radio;
  }
}

void QueueAboutBox() {
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog& about) {
    EXPECT_EQ(about.windowTitle(), "About Quillmark");
    PressKey(about, Qt::Key_Return);
  });
}

TEST_F(MainWindow, TheSystemMenuAndMaskedCommandsOpenTheAboutBox) {
  RunMainWindow([](CQuillmarkDlg& dialog) {
    // A right click shows the system menu, with About last.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            dialog.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dialog, &event);
    QMenu* menu = dialog.GetSystemMenu(false)->ContextMenu();
    ASSERT_TRUE(menu->isVisible());
    QAction* about = menu->actions().back();
    EXPECT_EQ(about->text(), "&About Quillmark...");
    QueueAboutBox();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
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

constexpr int kLists[] = {IDC_PORT_LIST, IDC_BAUDRATE_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST,
                          IDC_STOPBITS_LIST};

// Picks `text` from a drop-down list as the user does: opens the list and clicks the entry.
void Choose(const CDialog& dialog, int id, const QString& text) {
  auto* list = qobject_cast<QComboBox*>(Item(dialog, id));
  const int index = list->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  list->showPopup();
  QAbstractItemView* view = list->view();
  const QRect entry = view->visualRect(view->model()->index(index, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
  ASSERT_EQ(list->currentIndex(), index) << text.toStdString();
}

// The entries the five lists show, port first.
std::vector<QString> Shown(const CDialog& dialog) {
  std::vector<QString> shown;
  for (int id : kLists)
    shown.push_back(qobject_cast<QComboBox*>(Item(dialog, id))->currentText());
  return shown;
}

// Whether the four serial lists are enabled, checked to agree with each other.
bool SerialEnabled(const CDialog& dialog) {
  const bool enabled = Item(dialog, IDC_BAUDRATE_LIST)->isEnabled();
  for (int id : {IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST})
    EXPECT_EQ(Item(dialog, id)->isEnabled(), enabled) << id;
  return enabled;
}

using PortSetting = GuiTest;

TEST_F(PortSetting, OkStoresEveryFieldAndCancelNothing) {
  // The serial lists are chosen in order while COM4 shows, then the port, then BRIX Mode
  // is cleared or not, then OK or Cancel; no settings ({}) stand for Cancel.
  struct Case {
    const char* port;
    std::vector<const char*> serial;
    bool clearBrix;
    PortSettings stored;
  };
  const Case cases[] = {
      {"COM1", {}, false, {0, 1, 4, 3, 1, 0, 0}},
      {"LPT4", {}, false, {1, 1, 3, 3, 1, 0, 0}},
      {"COM3", {"19200BPS", "7Bit", "EvenParity", "2Bit"}, true, {0, 0, 6, 4, 0, 2, 1}},
      {"LPT2", {"1200BPS"}, false, {1, 1, 1, 0, 1, 0, 0}},  // serial values kept
      {"COM2", {"4800BPS"}, true, {}},
  };
  for (const Case& c : cases) {
    const int close = c.stored == PortSettings{} ? IDCANCEL : IDOK;
    PortSettings settings;
    testhook::QueueDialogAction(IDD_PORT_SETTING, [&](CDialog& dialog) {
      Choose(dialog, IDC_PORT_LIST, "COM4");
      for (std::size_t i = 0; i < c.serial.size(); ++i)
        Choose(dialog, kLists[i + 1], c.serial[i]);
      Choose(dialog, IDC_PORT_LIST, c.port);
      if (c.clearBrix) Click(dialog, IDC_BRIX_MODE);
      EXPECT_EQ(settings, PortSettings{}) << "written before OK";
      Click(dialog, close);
    });
    EXPECT_EQ(CPortSettingDlg(&settings).DoModal(), close) << c.port;
    EXPECT_EQ(settings, c.stored) << c.port;
  }
}

TEST_F(PortSetting, ThePortButtonEditsTheRunsSettingsAndShowsTheLastOk) {
  RunProgram({}, [](CQuillmarkDlg& dialog) {
    testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, [&](CPortSettingDlg& port) {
      EXPECT_EQ(port.windowTitle(), "Port Setting");
      EXPECT_EQ(port.parentWidget(), &dialog);  // owned by the main window, centred over it
      EXPECT_TRUE(Centred(port, dialog.frameGeometry()));
      EXPECT_EQ(Shown(port),
                (std::vector<QString>{"LPT1", "9600BPS", "8Bit", "NonParity", "1Bit"}));
      EXPECT_FALSE(SerialEnabled(port));
      EXPECT_EQ(port.brixModeCheck.GetCheck(), BST_CHECKED);
      const std::pair<const char*, bool> ports[] = {
          {"COM3", true}, {"LPT3", false}, {"COM4", true}, {"LPT2", false}, {"LPT4", false}};
      for (const auto& [name, serial] : ports) {
        Choose(port, IDC_PORT_LIST, name);
        EXPECT_EQ(SerialEnabled(port), serial) << name;
      }
      // The keyboard chooses too: Down from LPT4 is COM1, Down again COM2.
      Item(port, IDC_PORT_LIST)->setFocus();
      PressKey(port, Qt::Key_Down);
      EXPECT_TRUE(SerialEnabled(port));
      PressKey(port, Qt::Key_Down);
      Choose(port, IDC_STOPBITS_LIST, "2Bit");
      Click(port, IDC_BRIX_MODE);
      Click(port, IDOK);
    });
    // Enter on the focused Port button presses it, not the default Exit.
    Item(dialog, IDC_PORT)->setFocus();
    PressKey(dialog, Qt::Key_Return);
    ASSERT_TRUE(dialog.IsRunningModal());
    EXPECT_EQ(dialog.appState.portSettings, (PortSettings{0, 0, 5, 3, 1, 0, 1}));
    testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, [](CPortSettingDlg& port) {
      EXPECT_EQ(Shown(port),
                (std::vector<QString>{"COM2", "9600BPS", "8Bit", "NonParity", "2Bit"}));
      EXPECT_TRUE(SerialEnabled(port));
      EXPECT_EQ(port.brixModeCheck.GetCheck(), BST_UNCHECKED);
      Click(port, IDCANCEL);
    });
    Click(dialog, IDC_PORT);
  });
}

}  // namespace
}  // namespace quillmark
