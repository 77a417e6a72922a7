// The Port Setting dialog over a PortSettings record, and the main window's Port button.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <functional>
#include <vector>

#include "GuiTest.h"
#include "app/QuillmarkDlg.h"
#include "dialogs/PortSettingDlg.h"
#include "framework/WinApp.h"
#include "res/Resource.h"

namespace quillmark {
namespace {

constexpr int kSerialLists[] = {IDC_BAUDRATE_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST,
                                IDC_STOPBITS_LIST};

QComboBox* List(const CDialog& dialog, int id) {
  return qobject_cast<QComboBox*>(Item(dialog, id));
}

// Picks `text` from a drop-down list as the user does: opens the list and clicks the entry.
void Choose(const CDialog& dialog, int id, const QString& text) {
  QComboBox* list = List(dialog, id);
  ASSERT_NE(list, nullptr);
  const int index = list->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  list->showPopup();
  QAbstractItemView* view = list->view();
  const QRect entry = view->visualRect(view->model()->index(index, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
  ASSERT_EQ(list->currentIndex(), index) << text.toStdString();
}

std::vector<QString> Shown(const CDialog& dialog) {
  std::vector<QString> shown;
  for (int id :
       {IDC_PORT_LIST, IDC_BAUDRATE_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST})
    shown.push_back(List(dialog, id)->currentText());
  return shown;
}

// Whether each serial list is enabled, in the order of kSerialLists.
std::vector<bool> SerialEnabled(const CDialog& dialog) {
  std::vector<bool> enabled;
  for (int id : kSerialLists)
    enabled.push_back(Item(dialog, id)->isEnabled());
  return enabled;
}

const std::vector<bool> kAllEnabled(4, true);
const std::vector<bool> kAllDisabled(4, false);

int RunPortSetting(PortSettings& settings, std::function<void(CPortSettingDlg&)> action) {
  testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, std::move(action));
  CPortSettingDlg dialog(&settings);
  return dialog.DoModal();
}

using PortSetting = GuiTest;

TEST_F(PortSetting, ShowsTheDefaultsWithTheListsInTableOrder) {
  PortSettings settings;
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Port Setting");
    const std::pair<int, QStringList> lists[] = {
        {IDC_PORT_LIST, {"LPT1", "LPT2", "LPT3", "LPT4", "COM1", "COM2", "COM3", "COM4"}},
        {IDC_BAUDRATE_LIST, {"1200BPS", "2400BPS", "4800BPS", "9600BPS", "19200BPS"}},
        {IDC_DATABITS_LIST, {"7Bit", "8Bit"}},
        {IDC_PARITY_LIST, {"NonParity", "OddParity", "EvenParity"}},
        {IDC_STOPBITS_LIST, {"1Bit", "2Bit"}},
    };
    for (const auto& [id, entries] : lists) {
      QComboBox* list = List(dialog, id);
      ASSERT_NE(list, nullptr) << id;
      EXPECT_FALSE(list->isEditable());
      QStringList shown;
      for (int i = 0; i < list->count(); ++i)
        shown << list->itemText(i);
      EXPECT_EQ(shown, entries) << id;
    }
    EXPECT_EQ(Shown(dialog),
              (std::vector<QString>{"LPT1", "9600BPS", "8Bit", "NonParity", "1Bit"}));
    EXPECT_EQ(SerialEnabled(dialog), kAllDisabled);
    EXPECT_EQ(dialog.brixModeCheck.GetCheck(), BST_CHECKED);
    EXPECT_EQ(dialog.GetDlgItem(IDC_BRIX_MODE).GetWindowText(), "BRIX Mode");
    EXPECT_EQ(dialog.GetDlgItem(IDCANCEL).GetWindowText(), "Cancel");
    Click(dialog, IDCANCEL);
  });
}

TEST_F(PortSetting, SerialListsFollowTheUsersPortChoice) {
  PortSettings settings;
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    Choose(dialog, IDC_PORT_LIST, "COM2");
    EXPECT_EQ(SerialEnabled(dialog), kAllEnabled);
    Choose(dialog, IDC_PARITY_LIST, "OddParity");
    Choose(dialog, IDC_PORT_LIST, "LPT3");
    EXPECT_EQ(SerialEnabled(dialog), kAllDisabled);
    EXPECT_EQ(Shown(dialog),
              (std::vector<QString>{"LPT3", "9600BPS", "8Bit", "OddParity", "1Bit"}));
    // The keyboard changes the selection as well: Down from LPT4 is COM1.
    Choose(dialog, IDC_PORT_LIST, "LPT4");
    Item(dialog, IDC_PORT_LIST)->setFocus();
    PressKey(dialog, Qt::Key_Down);
    EXPECT_EQ(List(dialog, IDC_PORT_LIST)->currentText(), "COM1");
    EXPECT_EQ(SerialEnabled(dialog), kAllEnabled);
    // A selection made by the program is no user's choice and changes nothing else.
    dialog.portCombo.SetCurSel(0);
    EXPECT_EQ(SerialEnabled(dialog), kAllEnabled);
    Click(dialog, IDCANCEL);
  });
}

TEST_F(PortSetting, OkStoresEveryFieldAtOnce) {
  struct Case {
    const char* port;
    std::vector<std::pair<int, const char*>> serial;  // further choices
    bool brixMode;
    PortSettings stored;
  };
  const Case cases[] = {
      {"COM1", {}, true, {0, 1, 4, 3, 1, 0, 0}},
      {"LPT4", {}, true, {1, 1, 3, 3, 1, 0, 0}},
      {"COM3",
       {{IDC_BAUDRATE_LIST, "19200BPS"},
        {IDC_DATABITS_LIST, "7Bit"},
        {IDC_PARITY_LIST, "EvenParity"},
        {IDC_STOPBITS_LIST, "2Bit"}},
       false,
       {0, 0, 6, 4, 0, 2, 1}},
      // A parallel port keeps the serial values last shown.
      {"LPT2", {{IDC_BAUDRATE_LIST, "1200BPS"}}, true, {1, 1, 1, 0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    PortSettings settings;
    const int result = RunPortSetting(settings, [&](CPortSettingDlg& dialog) {
      for (const auto& [id, text] : c.serial) {
        // Serial lists are chosen while a COM port shows, then the port.
        Choose(dialog, IDC_PORT_LIST, "COM4");
        Choose(dialog, id, text);
      }
      Choose(dialog, IDC_PORT_LIST, c.port);
      if (!c.brixMode) Click(dialog, IDC_BRIX_MODE);
      EXPECT_EQ(settings, PortSettings{}) << "written before OK";
      Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(settings, c.stored);
  }
}

TEST_F(PortSetting, CancelEscAndTheCloseBoxWriteNothing) {
  const std::pair<const char*, std::function<void(CPortSettingDlg&)>> ways[] = {
      {"Cancel", [](CPortSettingDlg& d) { Click(d, IDCANCEL); }},
      {"Esc", [](CPortSettingDlg& d) { PressKey(d, Qt::Key_Escape); }},
      {"close box", [](CPortSettingDlg& d) { d.close(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.first);
    const auto& close = way.second;
    const PortSettings before{0, 0, 5, 1, 0, 2, 1};
    PortSettings settings = before;
    const int result = RunPortSetting(settings, [&](CPortSettingDlg& dialog) {
      Choose(dialog, IDC_BAUDRATE_LIST, "4800BPS");
      Choose(dialog, IDC_PORT_LIST, "LPT2");
      Click(dialog, IDC_BRIX_MODE);
      close(dialog);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(settings, before);
  }
}

TEST_F(PortSetting, ReopeningShowsTheLastOk) {
  PortSettings settings;
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    Choose(dialog, IDC_PORT_LIST, "COM2");
    Choose(dialog, IDC_STOPBITS_LIST, "2Bit");
    Click(dialog, IDC_BRIX_MODE);
    Click(dialog, IDOK);
  });
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    EXPECT_EQ(Shown(dialog),
              (std::vector<QString>{"COM2", "9600BPS", "8Bit", "NonParity", "2Bit"}));
    EXPECT_EQ(SerialEnabled(dialog), kAllEnabled);
    EXPECT_EQ(dialog.brixModeCheck.GetCheck(), BST_UNCHECKED);
    Choose(dialog, IDC_PORT_LIST, "LPT1");
    Click(dialog, IDOK);
  });
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    EXPECT_EQ(Shown(dialog),
              (std::vector<QString>{"LPT1", "9600BPS", "8Bit", "NonParity", "2Bit"}));
    EXPECT_EQ(SerialEnabled(dialog), kAllDisabled);
    Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(settings, (PortSettings{1, 0, 0, 3, 1, 0, 1}));
}

TEST_F(PortSetting, AnIndexOutsideItsTableIsKeptNotReplacedByNone) {
  PortSettings settings{0, 1, 6, 9, 1, -1, 0};
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    EXPECT_EQ(dialog.baudRateCombo.GetCurSel(), CB_ERR);
    EXPECT_EQ(dialog.parityCombo.GetCurSel(), CB_ERR);
    Click(dialog, IDOK);
  });
  EXPECT_EQ(settings, (PortSettings{0, 1, 6, 9, 1, -1, 0}));
}

TEST_F(PortSetting, ThePortButtonEditsTheRunsSettings) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [](CDialog& d) { Click(d, IDOK); });
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [](CQuillmarkDlg& dialog) {
    testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, [&](CPortSettingDlg& port) {
      EXPECT_EQ(port.settings, &dialog.appState.portSettings);
      // Owned by the main window while it runs, and centred over it.
      EXPECT_EQ(port.parentWidget(), &dialog);
      EXPECT_LE((port.frameGeometry().center() - dialog.frameGeometry().center()).manhattanLength(),
                2);
      Choose(port, IDC_PORT_LIST, "COM3");
      Click(port, IDOK);
    });
    Click(dialog, IDC_PORT);
    EXPECT_EQ(dialog.appState.portSettings, (PortSettings{0, 1, 6, 3, 1, 0, 0}));
    Click(dialog, IDOK);
  });
  CWinApp app;
  CQuillmarkDlg dialog;
  app.m_pMainWnd = &dialog;
  dialog.DoModal();
}

}  // namespace
}  // namespace quillmark
