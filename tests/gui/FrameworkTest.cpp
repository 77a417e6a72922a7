// The framework's message boxes, file dialogs and progress bars, and the test hook's
// failure reports.

#include <QFile>
#include <QFileDialog>
#include <QProgressBar>
#include <QTemporaryDir>
#include <climits>

#include "GuiTest.h"
#include "dialogs/AboutDlg.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"

namespace quillmark {
namespace {

using Framework = GuiTest;

TEST_F(Framework, MessageBoxesShowTheirTypeAndReturnThePressedButton) {
  struct Case {
    unsigned type;
    int answer;
    std::vector<int> buttons;
    unsigned icon;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONINFORMATION, IDOK, {IDOK}, MB_ICONINFORMATION},
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
  std::vector<std::string> failures;
  testhook::SetFailureHandler([&](const std::string& m) { failures.push_back(m); });
  // Nothing queued: each modal thing is reported and closed as cancelled.
  EXPECT_EQ(MessageBox(nullptr, "Communication Error", "Waring Message", MB_RETRYCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBox(nullptr, "Communication Finish", "Message", MB_OK), IDOK);
  EXPECT_EQ(CFileDialog(false, "bin").DoModal(), IDCANCEL);
  CAboutDlg about;
  EXPECT_EQ(about.DoModal(), IDCANCEL);
  EXPECT_EQ(failures.size(), 4u);
  // An answer the box does not have, an action that leaves its dialog open, and an action
  // queued for another dialog.
  testhook::QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Communication Finish", "Message", MB_OK), IDOK);
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog&) {});
  EXPECT_EQ(about.DoModal(), IDCANCEL);
  testhook::QueueDialogAction(IDD_PORT_SETTING, [](CDialog& d) { d.EndDialog(IDOK); });
  EXPECT_EQ(about.DoModal(), IDCANCEL);
  EXPECT_EQ(failures.size(), 7u);
  testhook::SetFailureHandler([](const std::string& m) { ADD_FAILURE() << "test hook: " << m; });
  testhook::TakeShownMessageBoxes();
  testhook::TakeShownFileDialogs();
}

TEST_F(Framework, TheSendBarIsRepaintedAsItMoves) {
  // Counts the bar's paint events while the test holds the UI thread.
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++paints;
      return false;
    }
  };
  RunMainWindow([](CQuillmarkDlg& dialog) {
    GuiCommandUi ui = dialog.CommandUiForSend();
    PaintCounter counter;
    dialog.sendProgress.GetSafeHwnd()->installEventFilter(&counter);
    ui.SetProgressRange(300000);  // beyond the 16 bits of a classic range
    for (std::uint32_t pos : {75000u, 150000u, 300000u}) {
      const int before = counter.paints;
      ui.SetProgressPos(pos);
      EXPECT_GT(counter.paints, before) << pos;
    }
    EXPECT_EQ(dialog.sendProgress.GetPos(), 300000);
    ui.SetProgressRange(UINT32_MAX);
    int lower = 0, upper = 0;
    dialog.sendProgress.GetRange(lower, upper);
    EXPECT_EQ(upper, INT_MAX);
  });
}

TEST(FileFilters, BecomeQtNameFilters) {
  const std::pair<const char*, QStringList> cases[] = {
      {"Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||",
       {"Binary Files (*.bin)", "All Files (*)"}},
      {"A (*.a)|*.a|B|b||", {"A (*.a)", "B (b)"}},
      {"Pictures|*.bmp; *.png||", {"Pictures (*.bmp *.png)"}},
      {"Bitmap (*.bmp)|*.bmp;*.dib||", {"Bitmap (*.bmp) (*.bmp *.dib)"}},
      {"A|*.a", {"A (*.a)"}},      // the closing bars missing
      {"A|*.a|B||", {"A (*.a)"}},  // a description without its pattern
      {"|*.a||", {}},              // an empty description ends the list
  };
  for (const auto& [filter, expected] : cases)
    EXPECT_EQ(QtNameFilters(filter), expected) << filter;
}

TEST(FileNames, GetTheDefaultExtensionOnlyWithoutOne) {
  const std::pair<const char*, const char*> cases[] = {
      {"/tmp/x/report", "/tmp/x/report.bin"},
      {"/tmp/x/report.txt", "/tmp/x/report.txt"},
      {"/tmp/x/report.", "/tmp/x/report."},
      {"/tmp/x.d/report", "/tmp/x.d/report.bin"},
      {"/tmp/x/", "/tmp/x/"},
  };
  for (const auto& [typed, expected] : cases)
    EXPECT_EQ(WithDefaultExtension(typed, "bin"), expected) << typed;
  EXPECT_EQ(WithDefaultExtension("report", ".bin"), "report.bin");
  EXPECT_EQ(WithDefaultExtension("report", ""), "report");
}

TEST_F(Framework, SavingOverAFileAsksFirstAndNoReturnsToTheDialog) {
  QTemporaryDir folder;
  const auto path = [&](const char* name) { return (folder.path() + "/" + name).toStdString(); };
  QFile existing(QString::fromStdString(path("out.bin")));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  struct Case {
    bool open;
    unsigned flags;
    const char* typed;
    int answer;  // to the question; 0 when none is expected
    const char* chosen;
  };
  const Case cases[] = {
      {false, OFN_OVERWRITEPROMPT, "out", IDYES, "out.bin"},
      {false, OFN_OVERWRITEPROMPT, "out", IDNO, "other.bin"},  // "other" typed next
      {false, OFN_OVERWRITEPROMPT, "new", 0, "new.bin"},
      {false, 0, "out", 0, "out.bin"},
      {true, OFN_OVERWRITEPROMPT, "out.bin", 0, "out.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + " " + std::to_string(c.answer));
    CFileDialog dialog(c.open, "bin", "", c.flags);
    testhook::QueueFileDialogAnswer(path(c.typed));
    if (c.answer != 0) testhook::QueueMessageBoxAnswer(c.answer);
    if (c.answer == IDNO) testhook::QueueFileDialogAnswer(path("other"));
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), path(c.chosen));
    const auto boxes = testhook::TakeShownMessageBoxes();
    ASSERT_EQ(boxes.size(), c.answer != 0 ? 1u : 0u);
    if (c.answer != 0) {
      EXPECT_EQ(boxes[0].text, "out.bin already exists.\nDo you want to replace it?");
      EXPECT_EQ(boxes[0].buttons, (std::vector<int>{IDYES, IDNO}));
      EXPECT_EQ(boxes[0].defaultButton, IDNO);
    }
    testhook::TakeShownFileDialogs();
  }
}

TEST(FileDialogs, QtDialogGetsTheArgumentsWithTheFirstFilterChosen) {
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
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));  // asked once, by us

  CFileDialog open(true, "bmp", "", OFN_FILEMUSTEXIST, "Bitmap Files (*.bmp)|*.bmp||");
  open.Configure(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Open");
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
}

}  // namespace
}  // namespace quillmark
