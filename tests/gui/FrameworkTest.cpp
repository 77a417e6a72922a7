// The framework's message boxes, file dialogs and progress bars, and the test hook's
// failure reports.

#include <QFile>
#include <QTemporaryDir>

#include "GuiTest.h"
#include "dialogs/AboutDlg.h"
#include "framework/FileDialog.h"
#include "framework/MessageBox.h"

namespace quillmark {
namespace {

using Framework = GuiTest;

TEST_F(Framework, MessageBoxesShowTheirTypeAndReturnThePressedButton) {
  using Buttons = std::vector<int>;
  const std::tuple<unsigned, int, Buttons, unsigned> cases[] = {
      {MB_OK | MB_ICONINFORMATION, IDOK, {IDOK}, MB_ICONINFORMATION},
      {MB_RETRYCANCEL | MB_ICONEXCLAMATION, IDRETRY, {IDRETRY, IDCANCEL}, MB_ICONEXCLAMATION},
      {MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL, {IDOK, IDCANCEL}, MB_ICONQUESTION},
      {MB_YESNO | MB_ICONHAND, IDNO, {IDYES, IDNO}, MB_ICONHAND},
      {MB_YESNO, IDYES, {IDYES, IDNO}, 0},
  };
  for (const auto& [type, answer, buttons, icon] : cases) {
    testhook::QueueMessageBoxAnswer(answer);
    EXPECT_EQ(MessageBox(nullptr, "Line one\n<b>not bold</b>", "Message", type), answer);
    const auto shown = testhook::TakeShownMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(std::tie(shown[0].text, shown[0].caption, shown[0].buttons, shown[0].icon),
              std::tie("Line one\n<b>not bold</b>", "Message", buttons, icon))
        << type;
    EXPECT_EQ(shown[0].defaultButton, buttons.front()) << type;
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
  // An answer the box does not have, an action that leaves its dialog open, and one
  // queued for another dialog.
  testhook::QueueMessageBoxAnswer(IDYES);
  EXPECT_EQ(MessageBox(nullptr, "Communication Finish", "Message", MB_OK), IDOK);
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog&) {});
  EXPECT_EQ(about.DoModal(), IDCANCEL);
  testhook::QueueDialogAction(IDD_PORT_SETTING, [](CDialog& d) { d.EndDialog(IDOK); });
  EXPECT_EQ(about.DoModal(), IDCANCEL);
  EXPECT_EQ(failures.size(), 7u);
  testhook::SetFailureHandler([](const std::string& m) { ADD_FAILURE() << "test hook: " << m; });
}

TEST_F(Framework, TheSendBarIsRepaintedAsItMoves) {
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      paints += event->type() == QEvent::Paint;
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
      ui.SetProgressPos(pos);  // while the send holds the UI thread
      EXPECT_GT(counter.paints, before) << pos;
    }
    EXPECT_EQ(dialog.sendProgress.GetPos(), 300000);
  });
}

TEST(FileDialogs, FiltersBecomeQtNameFilters) {
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

TEST(FileDialogs, NamesGetTheDefaultExtensionOnlyWithoutOne) {
  const std::pair<const char*, const char*> cases[] = {{"/tmp/x/report", "/tmp/x/report.bin"},
                                                       {"/tmp/x/report.txt", "/tmp/x/report.txt"},
                                                       {"/tmp/x/report.", "/tmp/x/report."},
                                                       {"/tmp/x.d/report", "/tmp/x.d/report.bin"},
                                                       {"/tmp/x/", "/tmp/x/"}};
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
  // Open or save, flags, the name typed, the answer to the question (0: none asked), and
  // the file chosen; after No, "other" is typed.
  const std::tuple<bool, unsigned, const char*, int, const char*> cases[] = {
      {false, OFN_OVERWRITEPROMPT, "out", IDYES, "out.bin"},
      {false, OFN_OVERWRITEPROMPT, "out", IDNO, "other.bin"},
      {false, OFN_OVERWRITEPROMPT, "new", 0, "new.bin"},
      {false, 0, "out", 0, "out.bin"},
      {true, OFN_OVERWRITEPROMPT, "out.bin", 0, "out.bin"},
  };
  for (const auto& [open, flags, typed, answer, chosen] : cases) {
    CFileDialog dialog(open, "bin", "", flags);
    testhook::QueueFileDialogAnswer(path(typed));
    if (answer != 0) testhook::QueueMessageBoxAnswer(answer);
    if (answer == IDNO) testhook::QueueFileDialogAnswer(path("other"));
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), path(chosen));
    const auto boxes = testhook::TakeShownMessageBoxes();
    ASSERT_EQ(boxes.size(), answer != 0 ? 1u : 0u) << typed << flags;
    if (answer != 0) {
      EXPECT_EQ(boxes[0].text, "out.bin already exists.\nDo you want to replace it?");
      EXPECT_EQ(boxes[0].defaultButton, IDNO);
    }
  }
}

}  // namespace
}  // namespace quillmark
