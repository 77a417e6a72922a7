// The program's dialogs: the main window, the access code, Target Printer, About, Port
// Setting and Picture Settings.

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "GuiTest.h"
#include "dialogs/PictureSettingsDlg.h"
#include "dialogs/PortSettingDlg.h"

namespace quillmark {
namespace {

bool Centred(const QWidget& window, const QRect& over) {
  return (window.frameGeometry().center() - over.center()).manhattanLength() <= 2;
}

using MainWindow = GuiTest;

// Where the window opens, which button Enter presses, and the order Tab goes round in:
// template order, skipping the disabled Patch. (Each control as the template places it is
// in the screenshots.)
TEST_F(MainWindow, OpensCentredOnTopWithExitFocusedAndTabsInTemplateOrder) {
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Centred(dialog, dialog.screen()->availableGeometry()));
    auto* exit = qobject_cast<QPushButton*>(Item(dialog, IDOK));
    EXPECT_TRUE(exit->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), exit);
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
        {0x0011, true}, {0x001F, true}, {0x0000, false}, {0x0030, false}, {0xF010, false}};
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

using PictureSettings = GuiTest;

// Opened from the window's menu, beside About: the threshold typed (all but digits refused
// as typed), a list entry chosen, both boxes ticked, then Enter or Esc. Only Enter on a
// threshold of 0 to 255 changes the options; on another the dialog says so and stays open.
TEST_F(PictureSettings, OkAppliesEverythingAndCancelOrABadThresholdNothing) {
  const std::tuple<const char*, Qt::Key, ConversionOptions> cases[] = {
      {"100", Qt::Key_Return, {100, Dither::kAtkinson, true, true, 90}},
      {"0", Qt::Key_Escape, {}},
      {"256", Qt::Key_Return, {}},
      {"", Qt::Key_Return, {}}};
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            dialog.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&dialog, &event);
    QMenu* menu = dialog.GetSystemMenu(false)->ContextMenu();
    QAction* entry = menu->actions().at(menu->actions().size() - 2);
    EXPECT_EQ(entry->text(), "&Picture Settings...");
    for (const auto& c : cases) {
      const char* threshold = std::get<0>(c);
      const Qt::Key end = std::get<1>(c);
      const ConversionOptions& stored = std::get<2>(c);
      SCOPED_TRACE(threshold);
      const bool refused = end == Qt::Key_Return && stored == ConversionOptions{};
      dialog.pictureOptions = {};
      testhook::QueueDialogAction(IDD_PICTURE_SETTINGS, [&](CDialog& settings) {
        auto* edit = qobject_cast<QLineEdit*>(Item(settings, IDC_THRESHOLD));
        EXPECT_EQ(QApplication::focusWidget(), edit);
        EXPECT_EQ(edit->text(), "128");
        edit->clear();
        QTest::keyClicks(edit, QString(threshold) + "x-");
        Choose(settings, IDC_DITHER_LIST, "Atkinson");
        Choose(settings, IDC_ROTATE_LIST, "90");
        Click(settings, IDC_INVERT);
        Click(settings, IDC_FIT);
        if (refused) testhook::QueueMessageBoxAnswer(IDOK);
        PressKey(settings, end);
        if (!refused) return;
        const auto shown = testhook::TakeShownMessageBoxes();
        EXPECT_TRUE(shown.size() == 1 && shown[0].text == kThresholdRangeText);
        EXPECT_TRUE(settings.IsRunningModal());
        Click(settings, IDCANCEL);
      });
      if (&c == &cases[0]) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
      } else {
        dialog.SendNotification(Notification::SysCommand, 0, IDM_PICTURE_SETTINGS);
      }
      EXPECT_EQ(dialog.pictureOptions, stored);
    }
  });
}

}  // namespace
}  // namespace quillmark
