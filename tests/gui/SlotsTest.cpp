// The ten image slots of the main window: ticking a box converts a chosen picture into
// its slot, clearing it empties the slot, and the lower bar shows the KiB in use.

#include <QImage>

#include "BmpTestFiles.h"
#include "GuiTest.h"
#include "app/QuillmarkDlg.h"
#include "dialogs/TargetPrinterDlg.h"
#include "res/Resource.h"

namespace quillmark {
namespace {

using test::TempDir;

// A 24-bit BMP, black where `dark` says so and white elsewhere.
std::string WriteBmp(const TempDir& dir, const std::string& name, std::int32_t width,
                     std::int32_t height,
                     std::function<bool(std::int32_t, std::int32_t)> dark = {}) {
  auto fields = test::Fields(width, height, 24);
  fields.pixels = test::PackRows(width, height, 24, false, [&](std::int32_t c, std::int32_t r) {
    return dark && !dark(c, r) ? 0xFFFFFFu : 0u;
  });
  return dir.Write(name, test::BuildBmp(fields)).string();
}

// The main window after the Target Printer dialog: `radio` checked and OK, or Esc for 0.
void RunMainWindow(int radio, std::function<void(CQuillmarkDlg&)> action) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [radio](CDialog& dialog) {
    if (radio == 0) {
      PressKey(dialog, Qt::Key_Escape);
      return;
    }
    Click(dialog, radio);
    Click(dialog, IDOK);
  });
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
    action(dialog);
    Click(dialog, IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

struct Gauge {
  int upper;
  int pos;
};
Gauge GaugeOf(CQuillmarkDlg& dialog) {
  int lower = 0, upper = 0;
  dialog.memoryGauge.GetRange(lower, upper);
  return {upper, dialog.memoryGauge.GetPos()};
}

std::uint32_t SlotSize(const CQuillmarkDlg& dialog, int slot) {
  const ByteBlock* image = dialog.appState.Slot(slot);
  return image ? image->size() : 0;
}

using Slots = GuiTest;

TEST_F(Slots, TickConvertsAndClearReleases) {
  TempDir dir;
  const std::string logo = WriteBmp(dir, "logo.bmp", 600, 100);
  RunMainWindow(1023, [&](CQuillmarkDlg& dialog) {
    CButton& box = dialog.slotChecks[2];
    testhook::QueueFileDialogAnswer(logo);
    Click(dialog, 1008);
    EXPECT_EQ(box.GetCheck(), BST_CHECKED);
    EXPECT_EQ(box.GetWindowText(), "Bitmap3  : logo.bmp");
    EXPECT_EQ(SlotSize(dialog, 3), 7492u);  // cropped to 576 x 100 dots: x = 72, y = 13
    EXPECT_EQ(GaugeOf(dialog).upper, 256);
    EXPECT_EQ(GaugeOf(dialog).pos, 7);

    Click(dialog, 1008);
    EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(box.GetWindowText(), "Bitmap3  : ");
    EXPECT_EQ(dialog.appState.Slot(3), nullptr);
    EXPECT_EQ(GaugeOf(dialog).pos, 0);
  });
  const auto dialogs = testhook::TakeShownFileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_TRUE(dialogs[0].request.openFileDialog);
  EXPECT_EQ(dialogs[0].request.defaultExtension, "BMP");
  EXPECT_EQ(dialogs[0].request.flags, OFN_HIDEREADONLY);
  EXPECT_EQ(dialogs[0].request.filter, "Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||");
  EXPECT_TRUE(testhook::TakeShownMessageBoxes().empty());
}

TEST_F(Slots, CancelOrUnreadablePictureLeavesTheSlotEmpty) {
  TempDir dir;
  const std::string broken = dir.Write("broken.bmp", {'B', 'M', 1, 2, 3}).string();
  RunMainWindow(1023, [&](CQuillmarkDlg& dialog) {
    CButton& box = dialog.slotChecks[1];
    testhook::QueueFileDialogCancel();
    Click(dialog, 1007);
    EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(box.GetWindowText(), "Bitmap2  : ");
    EXPECT_EQ(GaugeOf(dialog).upper, 256);  // the gauge is set even so

    // A file that is no picture: no block, no tick, and the next click asks again.
    testhook::QueueFileDialogAnswer(broken);
    Click(dialog, 1007);
    EXPECT_EQ(box.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(dialog.appState.Slot(2), nullptr);
    testhook::QueueFileDialogCancel();
    Click(dialog, 1007);
    EXPECT_EQ(box.GetWindowText(), "Bitmap2  : ");
  });
  EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 3u);
  EXPECT_TRUE(testhook::TakeShownMessageBoxes().empty());  // failures show no message
}

TEST_F(Slots, GaugeCountsKiBAgainstTheCapacity) {
  TempDir dir;
  const std::string big = WriteBmp(dir, "tall.bmp", 576, 2304);  // 165,892 bytes
  const std::string wide = WriteBmp(dir, "wide.bmp", 1008, 8);   // 1012 bytes without a width
  const std::string dot = WriteBmp(dir, "dot.bmp", 1, 1);        // 12 bytes
  struct Case {
    int radio;
    std::vector<std::pair<int, std::string>> fills;
    Gauge gauge;
  };
  const Case cases[] = {
      {1025, {{1, big}}, {128, 128}},  // 162 KiB on 128: a full bar, nothing refused
      {1024, {{1, big}}, {512, 162}},
      {1026, {{4, dot}}, {512, 0}},
      {0, {{1, wide}, {10, dot}}, {0, 0}},  // no printer chosen: range 0 to 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    RunMainWindow(c.radio, [&](CQuillmarkDlg& dialog) {
      for (const auto& [slot, file] : c.fills) {
        testhook::QueueFileDialogAnswer(file);
        Click(dialog, 1005 + slot);
        ASSERT_NE(dialog.appState.Slot(slot), nullptr);
      }
      EXPECT_EQ(GaugeOf(dialog).upper, c.gauge.upper);
      EXPECT_EQ(GaugeOf(dialog).pos, c.gauge.pos);
      if (c.radio == 0) {
        EXPECT_EQ(SlotSize(dialog, 1) + SlotSize(dialog, 10), 1024u);
      }
    });
    testhook::TakeShownFileDialogs();
  }
}

TEST_F(Slots, CropFollowsTheTargetPrinter) {
  TempDir dir;
  // 900 dots wide, dark only in column 700: kept on the 832-dot printer, cut on 576.
  const std::string wide = WriteBmp(dir, "w.bmp", 900, 8, [](auto c, auto) { return c == 700; });
  struct Case {
    int radio;
    std::uint32_t size;
  };
  for (const Case& c : {Case{1023, 8 * 72 + 4}, Case{1026, 8 * 104 + 4}, Case{0, 8 * 113 + 4}}) {
    RunMainWindow(c.radio, [&](CQuillmarkDlg& dialog) {
      testhook::QueueFileDialogAnswer(wide);
      Click(dialog, 1006);
      ASSERT_EQ(SlotSize(dialog, 1), c.size) << c.radio;
      const auto bytes = dialog.appState.Slot(1)->bytes();
      // On the 576-dot printer the record ends before column 700 (its size shows it).
      if (c.radio != 1023) {
        EXPECT_TRUE(test::DotAt(bytes, 700, 0)) << c.radio;
      }
    });
    testhook::TakeShownFileDialogs();
  }
}

TEST_F(Slots, LabelsShowLongAndSpecialNamesAsTyped) {
  TempDir dir;
  const std::string longName = WriteBmp(dir, "abcdefghijklmnopqrstuvwxyz.bmp", 8, 8);
  const std::string ampersand = WriteBmp(dir, "R&D.bmp", 8, 8);
  RunMainWindow(1023, [&](CQuillmarkDlg& dialog) {
    testhook::QueueFileDialogAnswer(longName);
    Click(dialog, 1015);
    EXPECT_EQ(dialog.slotChecks[9].GetWindowText(), "Bitmap10 : abcdefghijklmnopqrstu...");
    testhook::QueueFileDialogAnswer(ampersand);
    Click(dialog, 1006);
    // Shown as "R&D.bmp": a single '&' would mark a shortcut key instead.
    EXPECT_EQ(dialog.slotChecks[0].GetWindowText(), "Bitmap1  : R&&D.bmp");
  });
  testhook::TakeShownFileDialogs();
}

TEST_F(Slots, OtherPictureFormatsAreLaidOverWhite) {
  TempDir dir;
  // A PNG: opaque black, transparent black, half-transparent black over white (grey 127.5:
  // light), and opaque dark red.
  QImage png(4, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, qRgba(0, 0, 0, 255));
  png.setPixel(1, 0, qRgba(0, 0, 0, 0));
  png.setPixel(2, 0, qRgba(0, 0, 0, 127));
  png.setPixel(3, 0, qRgba(128, 0, 0, 255));
  const std::string path = (dir.path() / "mark.png").string();
  ASSERT_TRUE(png.save(QString::fromStdString(path)));
  RunMainWindow(1023, [&](CQuillmarkDlg& dialog) {
    testhook::QueueFileDialogAnswer(path);
    Click(dialog, 1006);
    ASSERT_NE(dialog.appState.Slot(1), nullptr);
    const auto bytes = dialog.appState.Slot(1)->bytes();
    EXPECT_TRUE(test::DotAt(bytes, 0, 0));
    EXPECT_FALSE(test::DotAt(bytes, 1, 0));
    EXPECT_FALSE(test::DotAt(bytes, 2, 0));
    EXPECT_TRUE(test::DotAt(bytes, 3, 0));
    EXPECT_EQ(dialog.slotChecks[0].GetWindowText(), "Bitmap1  : mark.png");
  });
  testhook::TakeShownFileDialogs();
}

}  // namespace
}  // namespace quillmark
