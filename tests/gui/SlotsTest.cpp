// The ten image slots of the main window: ticking a box converts a chosen picture into
// its slot, clearing it empties the slot, and the lower bar shows the KiB in use.

#include <QImage>
#include <QProgressBar>

#include "BmpTestFiles.h"
#include "GuiTest.h"

namespace quillmark {
namespace {

using test::TempDir;

// A 24-bit BMP, black where `dark` says so (everywhere without it) and white elsewhere.
std::string WriteBmp(const TempDir& dir, const std::string& name, std::int32_t width,
                     std::int32_t height,
                     std::function<bool(std::int32_t, std::int32_t)> dark = {}) {
  auto fields = test::Fields(width, height, 24);
  fields.pixels = test::PackRows(width, height, 24, false, [&](std::int32_t c, std::int32_t r) {
    return dark && !dark(c, r) ? 0xFFFFFFu : 0u;
  });
  return dir.Write(name, test::BuildBmp(fields)).string();
}

// Ticks the box of `slot` with `file` chosen, or Cancel when empty.
void Tick(CQuillmarkDlg& dialog, int slot, const std::string& file) {
  if (file.empty()) {
    testhook::QueueFileDialogCancel();
  } else {
    testhook::QueueFileDialogAnswer(file);
  }
  Click(dialog, IDC_BITMAP1 + slot - 1);
}

std::string Label(const CQuillmarkDlg& dialog, int slot) {
  return dialog.slotChecks[static_cast<std::size_t>(slot - 1)].GetWindowText();
}

bool Ticked(const CQuillmarkDlg& dialog, int slot) {
  return dialog.slotChecks[static_cast<std::size_t>(slot - 1)].GetCheck() == BST_CHECKED;
}

std::uint32_t SlotSize(const CQuillmarkDlg& dialog, int slot) {
  const ByteBlock* image = dialog.appState.Slot(slot);
  return image ? image->size() : 0;
}

std::pair<int, int> Gauge(CQuillmarkDlg& dialog) {  // upper end and position
  int lower = 0, upper = 0;
  dialog.memoryGauge.GetRange(lower, upper);
  return {upper, dialog.memoryGauge.GetPos()};
}

using Slots = GuiTest;

TEST_F(Slots, TickConvertsAndClearReleases) {
  TempDir dir;
  const std::string logo = WriteBmp(dir, "R&D logo.bmp", 600, 100);
  const std::string longName = WriteBmp(dir, "abcdefghijklmnopqrstuvwxyz.bmp", 8, 8);
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    Tick(dialog, 3, logo);
    EXPECT_TRUE(Ticked(dialog, 3));
    EXPECT_EQ(Label(dialog, 3), "Bitmap3  : R&&D logo.bmp");  // "&&" shows one '&'
    EXPECT_EQ(SlotSize(dialog, 3), 7492u);  // cropped to 576 x 100 dots: x = 72, y = 13
    EXPECT_EQ(Gauge(dialog), std::make_pair(256, 7));
    Tick(dialog, 10, longName);
    EXPECT_EQ(Label(dialog, 10), "Bitmap10 : abcdefghijklmnopqrstu...");

    Click(dialog, IDC_BITMAP1 + 2);
    EXPECT_FALSE(Ticked(dialog, 3));
    EXPECT_EQ(Label(dialog, 3), "Bitmap3  : ");
    EXPECT_EQ(dialog.appState.Slot(3), nullptr);
    EXPECT_EQ(Gauge(dialog), std::make_pair(256, 0));
  });
  const auto dialogs = testhook::TakeShownFileDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_TRUE(dialogs[0].request.openFileDialog);
  EXPECT_EQ(dialogs[0].request.filter, "Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||");
}

TEST_F(Slots, CancelOrAnUnreadablePictureLeavesTheSlotEmpty) {
  TempDir dir;
  const std::string broken = dir.Write("broken.bmp", {'B', 'M', 1, 2, 3}).string();
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    for (const std::string& file : {std::string(), broken}) {
      Tick(dialog, 2, file);
      EXPECT_FALSE(Ticked(dialog, 2));
      EXPECT_EQ(Label(dialog, 2), "Bitmap2  : ");
      EXPECT_EQ(dialog.appState.Slot(2), nullptr);
      EXPECT_EQ(Gauge(dialog), std::make_pair(256, 0));  // the gauge is set even so
    }
  });
  EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 2u);
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
    std::pair<int, int> gauge;
  };
  const Case cases[] = {
      {1025, {{1, big}}, {128, 128}},  // 162 KiB on 128: a full bar, nothing refused
      {1024, {{1, big}}, {512, 162}},
      {1026, {{4, dot}}, {512, 0}},
      {0, {{1, wide}, {10, dot}}, {0, 0}},  // no printer chosen: 1024 bytes on range 0 to 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    RunMainWindow(
        [&](CQuillmarkDlg& dialog) {
          for (const auto& [slot, file] : c.fills) {
            Tick(dialog, slot, file);
            ASSERT_TRUE(Ticked(dialog, slot));
          }
          EXPECT_EQ(Gauge(dialog), c.gauge);
          // The widget shows the same, and an empty range as an empty bar, not as Qt's
          // busy animation.
          auto* bar = qobject_cast<QProgressBar*>(dialog.memoryGauge.GetSafeHwnd());
          EXPECT_LT(bar->minimum(), bar->maximum());
          if (c.gauge.first == 0) {
            EXPECT_EQ(bar->value(), bar->minimum());
          } else {
            EXPECT_EQ(std::make_pair(bar->maximum(), bar->value()), c.gauge);
          }
        },
        c.radio);
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
    bool column700;
  };
  const Case cases[] = {
      {1023, 8 * 72 + 4, false}, {1026, 8 * 104 + 4, true}, {0, 8 * 113 + 4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.radio);
    RunMainWindow(
        [&](CQuillmarkDlg& dialog) {
          Tick(dialog, 1, wide);
          ASSERT_EQ(SlotSize(dialog, 1), c.size);
          if (c.column700) {  // else the record ends before it
            EXPECT_TRUE(test::DotAt(dialog.appState.Slot(1)->bytes(), 700, 0));
          }
        },
        c.radio);
    testhook::TakeShownFileDialogs();
  }
}

TEST_F(Slots, OtherPictureFormatsAreLaidOverWhite) {
  TempDir dir;
  // Opaque black, transparent black, half-transparent black (grey 127.5 over white: light),
  // and opaque dark red.
  QImage png(4, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, qRgba(0, 0, 0, 255));
  png.setPixel(1, 0, qRgba(0, 0, 0, 0));
  png.setPixel(2, 0, qRgba(0, 0, 0, 127));
  png.setPixel(3, 0, qRgba(128, 0, 0, 255));
  const std::string path = (dir.path() / "mark.png").string();
  ASSERT_TRUE(png.save(QString::fromStdString(path)));
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    Tick(dialog, 1, path);
    ASSERT_TRUE(Ticked(dialog, 1));
    const auto bytes = dialog.appState.Slot(1)->bytes();
    const bool expected[] = {true, false, false, true};
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(test::DotAt(bytes, x, 0), expected[x]) << x;
    EXPECT_EQ(Label(dialog, 1), "Bitmap1  : mark.png");
  });
  testhook::TakeShownFileDialogs();
}

}  // namespace
}  // namespace quillmark
