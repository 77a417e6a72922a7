// The Port Setting dialog over a PortSettings record, and the main window's Port button.

#include <QAbstractItemView>
#include <QComboBox>

#include "GuiTest.h"
#include "dialogs/PortSettingDlg.h"

namespace quillmark {
namespace {

constexpr int kLists[] = {IDC_PORT_LIST, IDC_BAUDRATE_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST,
                          IDC_STOPBITS_LIST};

QComboBox* List(const CDialog& dialog, int id) {
  return qobject_cast<QComboBox*>(Item(dialog, id));
}

// Picks `text` from a drop-down list as the user does: opens the list and clicks the entry.
void Choose(const CDialog& dialog, int id, const QString& text) {
  QComboBox* list = List(dialog, id);
  const int index = list->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  list->showPopup();
  QAbstractItemView* view = list->view();
  const QRect entry = view->visualRect(view->model()->index(index, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
  ASSERT_EQ(list->currentIndex(), index) << text.toStdString();
}

// The entries shown by the five lists, port first.
std::vector<QString> Shown(const CDialog& dialog) {
  std::vector<QString> shown;
  for (int id : kLists)
    shown.push_back(List(dialog, id)->currentText());
  return shown;
}

// Whether the four serial lists are enabled, checked to agree with each other.
bool SerialEnabled(const CDialog& dialog) {
  const bool enabled = Item(dialog, IDC_BAUDRATE_LIST)->isEnabled();
  for (int id : {IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST})
    EXPECT_EQ(Item(dialog, id)->isEnabled(), enabled) << id;
  return enabled;
}

int RunPortSetting(PortSettings& settings, std::function<void(CPortSettingDlg&)> action) {
  testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, std::move(action));
  CPortSettingDlg dialog(&settings);
  return dialog.DoModal();
}

using PortSetting = GuiTest;

TEST_F(PortSetting, ShowsTheDefaultsAndEnablesTheSerialListsExactlyForCom) {
  PortSettings settings;
  RunPortSetting(settings, [](CPortSettingDlg& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Port Setting");
    const QStringList entries[] = {
        {"LPT1", "LPT2", "LPT3", "LPT4", "COM1", "COM2", "COM3", "COM4"},
        {"1200BPS", "2400BPS", "4800BPS", "9600BPS", "19200BPS"},
        {"7Bit", "8Bit"},
        {"NonParity", "OddParity", "EvenParity"},
        {"1Bit", "2Bit"},
    };
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
      QStringList shown;
      for (int entry = 0; entry < List(dialog, kLists[i])->count(); ++entry)
        shown << List(dialog, kLists[i])->itemText(entry);
      EXPECT_EQ(shown, entries[i]);
    }
    EXPECT_EQ(Shown(dialog),
              (std::vector<QString>{"LPT1", "9600BPS", "8Bit", "NonParity", "1Bit"}));
    EXPECT_FALSE(SerialEnabled(dialog));
    EXPECT_EQ(dialog.brixModeCheck.GetCheck(), BST_CHECKED);

    const std::pair<const char*, bool> ports[] = {{"COM2", true}, {"LPT3", false},
                                                  {"COM4", true}, {"LPT2", false},
                                                  {"COM1", true}, {"LPT4", false}};
    for (const auto& [port, serial] : ports) {
      Choose(dialog, IDC_PORT_LIST, port);
      EXPECT_EQ(SerialEnabled(dialog), serial) << port;
    }
    // The keyboard chooses too: Down from LPT4 is COM1.
    Item(dialog, IDC_PORT_LIST)->setFocus();
    PressKey(dialog, Qt::Key_Down);
    EXPECT_EQ(List(dialog, IDC_PORT_LIST)->currentText(), "COM1");
    EXPECT_TRUE(SerialEnabled(dialog));
    Click(dialog, IDCANCEL);
  });
}

TEST_F(PortSetting, OkStoresEveryFieldAndCancelNothing) {
  struct Case {
    const char* port;
    std::vector<std::pair<int, const char*>> serial;  // chosen while COM4 shows
    bool brixMode;
    std::function<void(CDialog&)> close;
    PortSettings stored;
  };
  const auto ok = [](CDialog& d) { Click(d, IDOK); };
  const Case cases[] = {
      {"COM1", {}, true, ok, {0, 1, 4, 3, 1, 0, 0}},
      {"LPT4", {}, true, ok, {1, 1, 3, 3, 1, 0, 0}},
      {"COM3",
       {{IDC_BAUDRATE_LIST, "19200BPS"},
        {IDC_DATABITS_LIST, "7Bit"},
        {IDC_PARITY_LIST, "EvenParity"},
        {IDC_STOPBITS_LIST, "2Bit"}},
       false,
       ok,
       {0, 0, 6, 4, 0, 2, 1}},
      // A parallel port keeps the serial values last shown.
      {"LPT2", {{IDC_BAUDRATE_LIST, "1200BPS"}}, true, ok, {1, 1, 1, 0, 1, 0, 0}},
      {"LPT2", {{IDC_BAUDRATE_LIST, "4800BPS"}}, false, [](CDialog& d) { Click(d, IDCANCEL); }, {}},
      {"LPT2", {}, false, [](CDialog& d) { PressKey(d, Qt::Key_Escape); }, {}},
      {"COM2", {}, false, [](CDialog& d) { d.close(); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    PortSettings settings;
    const int result = RunPortSetting(settings, [&](CPortSettingDlg& dialog) {
      for (const auto& [id, text] : c.serial) {
        Choose(dialog, IDC_PORT_LIST, "COM4");
        Choose(dialog, id, text);
      }
      Choose(dialog, IDC_PORT_LIST, c.port);
      if (!c.brixMode) Click(dialog, IDC_BRIX_MODE);
      EXPECT_EQ(settings, PortSettings{}) << "written before OK";
      c.close(dialog);
    });
    EXPECT_EQ(result, c.stored == PortSettings{} ? IDCANCEL : IDOK);
    EXPECT_EQ(settings, c.stored);
  }
}

TEST_F(PortSetting, ThePortButtonEditsTheRunsSettingsAndShowsTheLastOk) {
  RunProgram({}, [](CQuillmarkDlg& dialog) {
    testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, [&](CPortSettingDlg& port) {
      EXPECT_EQ(port.parentWidget(), &dialog);  // owned by the main window, centred over it
      EXPECT_LE((port.frameGeometry().center() - dialog.frameGeometry().center()).manhattanLength(),
                2);
      Choose(port, IDC_PORT_LIST, "COM2");
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
