// The dialog framework on a dialog of its own: template controls, message map, modal
// runs, message boxes, file dialogs, progress bars and the test hook's failure reports.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <climits>
#include <functional>
#include <vector>

#include "GuiTest.h"
#include "framework/FileDialog.h"
#include "framework/GuiCommandUi.h"
#include "framework/MessageBox.h"

namespace quillmark {
namespace {

constexpr std::string_view kColours[] = {"Red", "Green", "Blue"};
constexpr int kAsk = 200, kOne = 201, kTwo = 202, kThree = 203, kFour = 204, kColour = 205,
              kBar = 206, kLocked = 207;
constexpr ControlTemplate kControls[] = {
    {IDOK, ControlKind::PushButton, "OK", 10, 60, 50, 14,
     kCtlDefaultButton | kCtlGroup | kCtlTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 70, 60, 50, 14, kCtlTabStop},
    {kAsk, ControlKind::PushButton, "Ask", 130, 60, 50, 14, kCtlTabStop},
    {kOne, ControlKind::AutoRadioButton, "One", 10, 10, 50, 10, kCtlGroup | kCtlTabStop},
    {kTwo, ControlKind::AutoRadioButton, "Two", 10, 22, 50, 10},
    {kThree, ControlKind::AutoRadioButton, "Three", 70, 10, 50, 10, kCtlGroup | kCtlTabStop},
    {kFour, ControlKind::AutoRadioButton, "Four", 70, 22, 50, 10},
    {kColour, ControlKind::DropDownList, "", 130, 10, 60, 50, kCtlGroup | kCtlTabStop, kColours},
    {kBar, ControlKind::ProgressBar, "", 10, 40, 110, 8, kCtlBorder},
    {kLocked, ControlKind::AutoCheckBox, "Locked", 130, 40, 60, 10, kCtlDisabled | kCtlTabStop},
};
constexpr int kOtherTemplate = 901;  // no dialog of the test uses it
constexpr DialogTemplate kTemplate = {900,
                                      "Framework Test",
                                      200,
                                      80,
                                      "MS Sans Serif",
                                      8,
                                      kDlgCaption | kDlgSysMenu | kDlgModalFrame,
                                      kControls};

// A dialog with a message map: "Ask" and list changes are counted; Cancel (the button,
// Esc, the close box) asks first and closes only through default processing.
class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(kTemplate) {}
  void OnAsk() { ++asked; }
  void OnColourChanged() { ++colourChanges; }
  void OnCancelClicked() {
    if (allowCancel) Default();
  }
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    if (endAtInit) EndDialog(IDOK);
    return true;
  }
  int asked = 0;
  int colourChanges = 0;
  bool allowCancel = true;
  bool endAtInit = false;

 protected:
  std::span<const MessageMapEntry> GetMessageMap() const override {
    static constexpr MessageMapEntry kMap[] = {
        {Notification::Clicked, kAsk, &Handle<&TestDialog::OnAsk>},
        {Notification::SelChange, kColour, &Handle<&TestDialog::OnColourChanged>},
        {Notification::Clicked, IDCANCEL, &Handle<&TestDialog::OnCancelClicked>},
    };
    return kMap;
  }
};

int RunTestDialog(TestDialog& dialog, std::function<void(TestDialog&)> action) {
  testhook::QueueDialogAction<TestDialog>(kTemplate.id, std::move(action));
  return dialog.DoModal();
}

// Collects the hook's failure reports instead of failing the test.
class CapturedFailures {
 public:
  CapturedFailures() {
    testhook::SetFailureHandler([this](const std::string& m) { messages.push_back(m); });
  }
  ~CapturedFailures() {
    testhook::SetFailureHandler([](const std::string& m) { ADD_FAILURE() << "test hook: " << m; });
  }
  std::vector<std::string> messages;
};

using Framework = GuiTest;

TEST_F(Framework, EnterEscAndTheCloseBoxEndTheModalRun) {
  struct Case {
    const char* how;
    std::function<void(TestDialog&)> act;
    int result;
  };
  const Case cases[] = {
      {"Enter", [](TestDialog& d) { PressKey(d, Qt::Key_Return); }, IDOK},
      {"OK", [](TestDialog& d) { Click(d, IDOK); }, IDOK},
      {"Esc", [](TestDialog& d) { PressKey(d, Qt::Key_Escape); }, IDCANCEL},
      {"Cancel", [](TestDialog& d) { Click(d, IDCANCEL); }, IDCANCEL},
      {"close box", [](TestDialog& d) { d.close(); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    TestDialog dialog;
    EXPECT_EQ(RunTestDialog(dialog, c.act), c.result);
    EXPECT_FALSE(dialog.isVisible());
  }
}

TEST_F(Framework, MessageMapRoutesClicksAndUserSelections) {
  TestDialog dialog;
  RunTestDialog(dialog, [](TestDialog& d) {
    EXPECT_EQ(QApplication::focusWidget(), Item(d, IDOK));  // first enabled tab stop
    EXPECT_FALSE(Item(d, kLocked)->isEnabled());            // created disabled
    Click(d, kAsk);
    Click(d, kAsk);
    EXPECT_EQ(d.asked, 2);
    // The map's Cancel handler holds Esc and the close box back...
    d.allowCancel = false;
    PressKey(d, Qt::Key_Escape);
    d.close();
    EXPECT_TRUE(d.IsRunningModal());
    // ...and a selection by the program is no notification, the user's is.
    CComboBox colour(Item(d, kColour));
    EXPECT_EQ(colour.SetCurSel(2), 2);
    EXPECT_EQ(d.colourChanges, 0);
    Item(d, kColour)->setFocus();
    PressKey(d, Qt::Key_Up);
    EXPECT_EQ(colour.GetCurSel(), 1);
    EXPECT_EQ(d.colourChanges, 1);
    d.allowCancel = true;
    PressKey(d, Qt::Key_Escape);
  });
}

TEST_F(Framework, ListsStartUnselectedWithTheTemplateEntries) {
  TestDialog dialog;
  for (int run = 0; run < 2; ++run) {  // a second run rebuilds the controls
    RunTestDialog(dialog, [](TestDialog& d) {
      CComboBox colour(Item(d, kColour));
      ASSERT_EQ(colour.GetCount(), 3);
      EXPECT_EQ(colour.GetLBText(0), "Red");
      EXPECT_EQ(colour.GetLBText(2), "Blue");
      EXPECT_EQ(colour.GetLBText(3), "");
      EXPECT_EQ(colour.GetCurSel(), CB_ERR);
      EXPECT_EQ(colour.SetCurSel(1), 1);
      EXPECT_EQ(colour.SetCurSel(3), CB_ERR);
      EXPECT_EQ(colour.GetCurSel(), CB_ERR);
      Click(d, IDOK);
    });
  }
}

TEST_F(Framework, RadioButtonsAreExclusiveWithinTheirGroupOnly) {
  TestDialog dialog;
  RunTestDialog(dialog, [](TestDialog& d) {
    EXPECT_EQ(d.GetCheckedRadioButton(kOne, kFour), 0);
    Click(d, kTwo);
    Click(d, kThree);
    EXPECT_EQ(d.GetCheckedRadioButton(kOne, kTwo), kTwo);
    EXPECT_EQ(d.GetCheckedRadioButton(kThree, kFour), kThree);
    Click(d, kOne);
    EXPECT_EQ(CButton(Item(d, kTwo)).GetCheck(), BST_UNCHECKED);
    d.CheckRadioButton(kOne, kTwo, kTwo);
    EXPECT_EQ(d.GetCheckedRadioButton(kOne, kTwo), kTwo);
    EXPECT_EQ(CButton(Item(d, kOne)).GetCheck(), BST_UNCHECKED);
    d.CheckRadioButton(kOne, kFour, 0);  // outside the range: all cleared
    EXPECT_EQ(d.GetCheckedRadioButton(kOne, kFour), 0);
    Click(d, IDOK);
  });
}

TEST_F(Framework, ProgressControlsKeepTheirRange) {
  TestDialog dialog;
  RunTestDialog(dialog, [](TestDialog& d) {
    CProgressCtrl bar(Item(d, kBar));
    auto* widget = qobject_cast<QProgressBar*>(Item(d, kBar));
    int lower = -1, upper = -1;
    bar.GetRange(lower, upper);
    EXPECT_EQ(upper, 100);
    EXPECT_EQ(bar.SetPos(150), 0);
    EXPECT_EQ(bar.GetPos(), 100);  // beyond the range: a full bar
    bar.SetPos(-3);
    EXPECT_EQ(bar.GetPos(), 0);
    bar.SetRange(0, 512);
    bar.SetPos(256);
    EXPECT_EQ(widget->value(), 256);
    EXPECT_EQ(widget->maximum(), 512);
    // An empty range shows an empty bar, never Qt's busy animation (maximum == minimum).
    bar.SetRange(0, 0);
    bar.SetPos(7);
    EXPECT_EQ(bar.GetPos(), 0);
    EXPECT_LT(widget->minimum(), widget->maximum());
    EXPECT_EQ(widget->value(), widget->minimum());
    Click(d, IDOK);
  });
}

TEST_F(Framework, CommandUiMovesItsBarAtOnceAndOwnsItsBoxes) {
  // Counts the bar's paint events while the test holds the UI thread.
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++paints;
      return false;
    }
  };
  TestDialog dialog;
  RunTestDialog(dialog, [](TestDialog& d) {
    GuiCommandUi ui(d, CProgressCtrl(Item(d, kBar)));
    PaintCounter counter;
    Item(d, kBar)->installEventFilter(&counter);
    ui.SetProgressRange(300000);  // beyond the 16 bits of a classic range
    const int afterRange = counter.paints;
    EXPECT_GE(afterRange, 1);
    for (std::uint32_t pos : {75000u, 150000u, 300000u}) {
      const int before = counter.paints;
      ui.SetProgressPos(pos);
      EXPECT_GT(counter.paints, before) << pos;  // painted before the call returned
    }
    EXPECT_EQ(CProgressCtrl(Item(d, kBar)).GetPos(), 300000);
    ui.SetProgressRange(UINT32_MAX);
    int lower = 0, upper = 0;
    CProgressCtrl(Item(d, kBar)).GetRange(lower, upper);
    EXPECT_EQ(upper, INT_MAX);

    testhook::QueueMessageBoxAnswer(IDRETRY);
    EXPECT_EQ(
        ui.MessageBox("Communication Error", "Waring Message", MB_RETRYCANCEL | MB_ICONEXCLAMATION),
        IDRETRY);
    const auto boxes = testhook::TakeShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].ownerCaption, "Framework Test");

    testhook::QueueFileDialogAnswer("/tmp/picture.bmp");
    const auto chosen = ui.ChooseFile({true, "bmp", "", 0, "Bitmap Files (*.bmp)|*.bmp||"});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->pathName, "/tmp/picture.bmp");
    EXPECT_EQ(chosen->fileName, "picture.bmp");
    testhook::QueueFileDialogCancel();
    EXPECT_FALSE(ui.ChooseFile({}));
    EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 2u);
    Click(d, IDOK);
  });
}

TEST_F(Framework, MessageBoxesShowTheirTypeAndReturnThePressedButton) {
  struct Case {
    unsigned type;
    int answer;
    std::vector<int> buttons;
    unsigned icon;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONINFORMATION, IDOK, {IDOK}, MB_ICONINFORMATION},
      {MB_OK | MB_ICONEXCLAMATION, IDOK, {IDOK}, MB_ICONEXCLAMATION},
      {MB_RETRYCANCEL | MB_ICONEXCLAMATION, IDRETRY, {IDRETRY, IDCANCEL}, MB_ICONEXCLAMATION},
      {MB_RETRYCANCEL | MB_ICONEXCLAMATION, IDCANCEL, {IDRETRY, IDCANCEL}, MB_ICONEXCLAMATION},
      {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL, {IDOK, IDCANCEL}, MB_ICONQUESTION},
      {MB_YESNO | MB_ICONHAND, IDNO, {IDYES, IDNO}, MB_ICONHAND},
      {MB_YESNO, IDYES, {IDYES, IDNO}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    testhook::QueueMessageBoxAnswer(c.answer);
    EXPECT_EQ(MessageBox(nullptr, "Line one\n<b>not bold</b>", "Message", c.type), c.answer);
    const auto shown = testhook::TakeShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Line one\n<b>not bold</b>");
    EXPECT_EQ(shown[0].caption, "Message");
    EXPECT_EQ(shown[0].buttons, c.buttons);
    EXPECT_EQ(shown[0].defaultButton, c.buttons.front());
    EXPECT_EQ(shown[0].icon, c.icon);
  }
}

TEST_F(Framework, TheHookReportsWhatItCannotAnswerInsteadOfHanging) {
  CapturedFailures failures;
  // Nothing queued: each modal thing is reported and closed as cancelled.
  EXPECT_EQ(MessageBox(nullptr, "Communication Error", "Waring Message", MB_RETRYCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBox(nullptr, "Communication Finish", "Message", MB_OK), IDOK);
  CFileDialog file(false, "bin");
  EXPECT_EQ(file.DoModal(), IDCANCEL);
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(failures.messages.size(), 4u);
  // An answer the box does not have, and an action that leaves its dialog open.
  testhook::QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Communication Finish", "Message", MB_OK), IDOK);
  EXPECT_EQ(RunTestDialog(dialog, [](TestDialog&) {}), IDCANCEL);
  testhook::QueueDialogAction(kOtherTemplate, [](CDialog& d) { d.EndDialog(IDOK); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);  // an action queued for another dialog
  EXPECT_EQ(failures.messages.size(), 7u);
  for (const std::string& message : failures.messages)
    EXPECT_FALSE(message.empty());
  testhook::TakeShownMessageBoxes();
  testhook::TakeShownFileDialogs();
}

TEST_F(Framework, EndingInOnInitDialogSkipsTheModalLoop) {
  TestDialog dialog;
  dialog.endAtInit = true;
  EXPECT_EQ(dialog.DoModal(), IDOK);  // nothing queued: the loop never ran
  CDialog missing(12345);
  EXPECT_EQ(missing.DoModal(), -1);
}

TEST(FileFilters, BecomeQtNameFilters) {
  struct Case {
    const char* filter;
    QStringList expected;
  };
  const Case cases[] = {
      {"Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||",
       {"Binary Files (*.bin)", "All Files (*)"}},
      {"A (*.a)|*.a|B|b||", {"A (*.a)", "B (b)"}},
      {"Bitmap Files (*.bmp;*.dib)|*.bmp;*.dib||", {"Bitmap Files (*.bmp *.dib)"}},
      {"Pictures|*.bmp; *.png||", {"Pictures (*.bmp *.png)"}},
      {"Bitmap (*.bmp)|*.bmp;*.dib||", {"Bitmap (*.bmp) (*.bmp *.dib)"}},
      {"A|*.a", {"A (*.a)"}},      // the closing bars missing
      {"A|*.a|B||", {"A (*.a)"}},  // a description without its pattern
      {"|*.a||", {}},              // an empty description ends the list
      {"", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(QtNameFilters(c.filter), c.expected) << c.filter;
}

TEST(FileNames, GetTheDefaultExtensionOnlyWithoutOne) {
  struct Case {
    const char* typed;
    const char* extension;
    const char* expected;
  };
  const Case cases[] = {
      {"/tmp/x/report", "bin", "/tmp/x/report.bin"},
      {"/tmp/x/report.txt", "bin", "/tmp/x/report.txt"},
      {"/tmp/x/report.BIN", "bin", "/tmp/x/report.BIN"},
      {"/tmp/x/report.", "bin", "/tmp/x/report."},
      {"/tmp/x.d/report", "bin", "/tmp/x.d/report.bin"},
      {"report", ".bin", "report.bin"},
      {"report", "", "report"},
      {"/tmp/x/", "bin", "/tmp/x/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WithDefaultExtension(c.typed, c.extension), c.expected) << c.typed;
}

class FileDialogs : public GuiTest {
 protected:
  std::string Path(const char* name) const { return (folder.path() + "/" + name).toStdString(); }
  void Create(const char* name) const {
    QFile file(QString::fromStdString(Path(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  QTemporaryDir folder;
};

TEST_F(FileDialogs, SaveAppendsTheExtensionAndAsksBeforeReplacing) {
  Create("out.bin");
  const char* filter = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";
  CFileDialog save(false, "bin", "NVImage", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter);
  // "No" returns to the dialog, where another name is typed.
  testhook::QueueFileDialogAnswer(Path("out"));
  testhook::QueueMessageBoxAnswer(IDNO);
  testhook::QueueFileDialogAnswer(Path("other"));
  ASSERT_EQ(save.DoModal(), IDOK);
  EXPECT_EQ(save.GetPathName(), Path("other.bin"));
  EXPECT_EQ(save.GetFileName(), "other.bin");
  EXPECT_EQ(save.GetFileTitle(), "other");
  EXPECT_EQ(save.GetFileExt(), "bin");
  const auto boxes = testhook::TakeShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "out.bin already exists.\nDo you want to replace it?");
  EXPECT_EQ(boxes[0].buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(boxes[0].defaultButton, IDNO);
  const auto dialogs = testhook::TakeShownFileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_FALSE(dialogs[0].request.openFileDialog);
  EXPECT_EQ(dialogs[0].request.defaultExtension, "bin");
  EXPECT_EQ(dialogs[0].request.initialFileName, "NVImage");
  EXPECT_EQ(dialogs[0].request.filter, filter);

  // "Yes" takes the existing file.
  testhook::QueueFileDialogAnswer(Path("out"));
  testhook::QueueMessageBoxAnswer(IDYES);
  ASSERT_EQ(save.DoModal(), IDOK);
  EXPECT_EQ(save.GetPathName(), Path("out.bin"));
  testhook::TakeShownMessageBoxes();
}

TEST_F(FileDialogs, AskOnlyWhenSavingOverAFileWithTheFlag) {
  Create("image.bmp");
  struct Case {
    bool open;
    unsigned flags;
    const char* typed;
  };
  const Case cases[] = {
      {true, OFN_OVERWRITEPROMPT, "image.bmp"},  // opening an existing file
      {false, 0, "image.bmp"},                   // saving without the flag
      {false, OFN_OVERWRITEPROMPT, "new.bmp"},   // saving to a new name
  };
  for (const Case& c : cases) {
    CFileDialog dialog(c.open, "bmp", "", c.flags);
    testhook::QueueFileDialogAnswer(Path(c.typed));
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), Path(c.typed));
  }
  EXPECT_TRUE(testhook::TakeShownMessageBoxes().empty());
  testhook::TakeShownFileDialogs();
}

TEST_F(FileDialogs, RelativeNamesAndCancel) {
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder.path()));
  CFileDialog dialog(true, "bmp");
  testhook::QueueFileDialogAnswer("logo");
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.GetPathName(), Path("logo.bmp"));
  testhook::QueueFileDialogCancel();
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.GetPathName(), "");
  QDir::setCurrent(previous);
  testhook::TakeShownFileDialogs();
}

TEST_F(FileDialogs, QtDialogGetsTheArgumentsWithTheFirstFilterChosen) {
  CFileDialog save(false, "bin", "NVImage.bin", OFN_OVERWRITEPROMPT,
                   "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||");
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  save.Configure(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Save As");
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog.nameFilters(), (QStringList{"Binary Files (*.bin)", "All Files (*)"}));
  EXPECT_EQ(dialog.selectedNameFilter(), "Binary Files (*.bin)");
  EXPECT_EQ(dialog.defaultSuffix(), "bin");
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));

  CFileDialog open(true, "bmp", "", OFN_FILEMUSTEXIST, "Bitmap Files (*.bmp)|*.bmp||");
  open.Configure(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Open");
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
}

}  // namespace
}  // namespace quillmark
