// The main window's commands: image slots filled from picture files and the memory gauge,
// File and Patch into real files, and DownLoad and Print through a FIFO mapped as LPT1.

#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextDocument>
#include <algorithm>
#include <fstream>

#include "GuiTest.h"
#include "commands/FileCommands.h"
#include "dialogs/PortSettingDlg.h"
#include "port/posix/PosixPortApi.h"
#include "state/PrinterModels.h"
#include "streams/Streams.h"
#include "support/BmpTestFiles.h"
#include "support/Bytes.h"
#include "support/LoopbackTcp.h"
#include "support/TestDevices.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

// A 24-bit BMP, black in the columns `darkColumn` picks (in all without it), else white.
std::string WriteBmp(const TempDir& dir, const std::string& name, std::int32_t width,
                     std::int32_t height, std::function<bool(std::int32_t)> darkColumn = {}) {
  auto fields = test::Fields(width, height, 24);
  fields.pixels = test::PackRows(width, height, 24, false, [&](std::int32_t c, std::int32_t) {
    return darkColumn && !darkColumn(c) ? 0xFFFFFFu : 0u;
  });
  return dir.Write(name, test::BuildBmp(fields)).string();
}

// Ticks the box of `slot` with `file` chosen, or Cancel when empty.
void Tick(CQuillmarkDlg& dialog, int slot, const std::string& file) {
  file.empty() ? testhook::QueueFileDialogCancel() : testhook::QueueFileDialogAnswer(file);
  Click(dialog, IDC_BITMAP1 + slot - 1);
}

CButton& Box(CQuillmarkDlg& dialog, int slot) {
  return dialog.slotChecks[static_cast<std::size_t>(slot - 1)];
}

std::pair<int, int> Bar(CProgressCtrl& bar) {  // upper end and position
  int lower = 0, upper = 0;
  bar.GetRange(lower, upper);
  return {upper, bar.GetPos()};
}

using Slots = GuiTest;

TEST_F(Slots, TickConvertsClearReleasesAndFailuresLeaveEmpty) {
  TempDir dir;
  const std::string logo = WriteBmp(dir, "R&D logo.bmp", 600, 100);
  const std::string longName = WriteBmp(dir, "abcdefghijklmnopqrstuvwxyz.bmp", 8, 8);
  const std::string broken = dir.Write("broken.bmp", {'B', 'M', 1, 2, 3}).string();
  const std::string fifo = (dir.path() / "picture.fifo").string();  // nobody writes it
  ASSERT_TRUE(testing::MakeFifo(fifo));
  // Other formats are laid over white: opaque black, transparent black, half-transparent
  // black (grey 127.5: light), and opaque dark red.
  QImage png(4, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, qRgba(0, 0, 0, 255));
  png.setPixel(1, 0, qRgba(0, 0, 0, 0));
  png.setPixel(2, 0, qRgba(0, 0, 0, 127));
  png.setPixel(3, 0, qRgba(128, 0, 0, 255));
  const std::string mark = (dir.path() / "mark.png").string();
  ASSERT_TRUE(png.save(QString::fromStdString(mark)));
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    // Cancel, then files that give no picture, refused at once; the box's tip says why.
    const std::pair<std::string, std::string> failures[] = {
        {"", ""},
        {broken, "broken.bmp: the file is truncated"},
        {fifo, "picture.fifo: not a file but a folder, a FIFO or a device"}};
    for (const auto& [file, tip] : failures) {
      Tick(dialog, 2, file);
      EXPECT_EQ(Box(dialog, 2).GetToolTipText().substr(0, tip.size()), tip);
      EXPECT_EQ(Box(dialog, 2).GetCheck(), BST_UNCHECKED);
      EXPECT_EQ(Box(dialog, 2).GetWindowText(), "Bitmap2  : ");
      EXPECT_EQ(dialog.appState.Slot(2), nullptr);
      EXPECT_EQ(Bar(dialog.memoryGauge), std::make_pair(256, 0));  // the gauge is set even so
    }
    Tick(dialog, 3, logo);
    EXPECT_EQ(Box(dialog, 3).GetCheck(), BST_CHECKED);
    EXPECT_EQ(Box(dialog, 3).GetWindowText(), "Bitmap3  : R&&D logo.bmp");  // "&&" shows '&'
    EXPECT_EQ(Bar(dialog.memoryGauge), std::make_pair(256, 7));
    Tick(dialog, 10, longName);
    EXPECT_EQ(Box(dialog, 10).GetWindowText(), "Bitmap10 : abcdefghijklmnopqrstu...");
    Tick(dialog, 1, mark);
    ASSERT_NE(dialog.appState.Slot(1), nullptr);
    const bool dark[] = {true, false, false, true};
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(test::DotAt(dialog.appState.Slot(1)->bytes(), x, 0), dark[x]) << x;
    EXPECT_EQ(Box(dialog, 1).GetWindowText(), "Bitmap1  : mark.png");
    Click(dialog, IDC_BITMAP1 + 2);
    EXPECT_EQ(Box(dialog, 3).GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(Box(dialog, 3).GetWindowText(), "Bitmap3  : ");
    EXPECT_EQ(dialog.appState.Slot(3), nullptr);
    EXPECT_EQ(Bar(dialog.memoryGauge), std::make_pair(256, 0));
  });
  EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 6u);
  EXPECT_TRUE(testhook::TakeShownMessageBoxes().empty());  // failures show no message
}

TEST_F(Slots, CropAndGaugeFollowTheTargetPrinter) {
  TempDir dir;
  // 900 dots wide, dark only in column 700: kept on the 832-dot printer, cut on 576.
  const std::string wide = WriteBmp(dir, "w.bmp", 900, 8, [](auto c) { return c == 700; });
  const std::string tall = WriteBmp(dir, "tall.bmp", 576, 2304);  // 165,892 bytes on each
  // The model, the wide picture's size and whether it keeps column 700, and the gauge's
  // capacity and use in KiB: 162 KiB on 128 make a full bar, and nothing is refused.
  const std::tuple<int, std::uint32_t, bool, std::pair<int, int>> cases[] = {
      {1023, 8 * 72 + 4, false, {256, 162}},
      {1024, 8 * 72 + 4, false, {512, 162}},
      {1025, 8 * 72 + 4, false, {128, 128}},
      {1026, 8 * 104 + 4, true, {512, 162}},
      {0, 8 * 113 + 4, true, {0, 0}}};  // 0: no printer chosen
  for (const auto& c : cases) {
    SCOPED_TRACE(std::get<0>(c));
    const auto check = [&](CQuillmarkDlg& dialog) {
      const auto& [model, wideSize, column700, gauge] = c;
      Tick(dialog, 1, wide);
      Tick(dialog, 10, tall);
      const ByteBlock* image = dialog.appState.Slot(1);
      ASSERT_NE(image, nullptr);
      ASSERT_EQ(image->size(), wideSize);
      ASSERT_NE(dialog.appState.Slot(10), nullptr);
      if (column700) {  // else the record ends before it
        EXPECT_TRUE(test::DotAt(image->bytes(), 700, 0));
      }
      EXPECT_EQ(Bar(dialog.memoryGauge), gauge);
      // The widget shows the same, and an empty range as an empty bar, not as Qt's busy
      // animation.
      auto* bar = qobject_cast<QProgressBar*>(dialog.memoryGauge.GetSafeHwnd());
      EXPECT_LT(bar->minimum(), bar->maximum());
      const auto shown = gauge.first == 0 ? std::make_pair(bar->maximum(), bar->minimum()) : gauge;
      EXPECT_EQ(std::make_pair(bar->maximum(), bar->value()), shown);
    };
    RunMainWindow(check, ChooseModel(std::get<0>(c)));
  }
}

// Pictures are converted with the options Picture Settings sets, to the bytes the command
// line's convert writes for the same options; the filled box's tip shows the
// image as it prints (dark dots black) and its size, the tip of a refused picture why.
TEST_F(Slots, PictureSettingsApplyAsOnTheCommandLineAndTheTipShowsThePrintedImage) {
  TempDir dir;
  auto fields = test::Fields(300, 40, 24);
  fields.pixels = test::PackRows(300, 40, 24, false, [](std::int32_t c, std::int32_t r) {
    return 0x010101u * static_cast<std::uint32_t>((c * 255 / 299 + r) % 256);
  });
  const std::string ramp = dir.Write("ramp.bmp", test::BuildBmp(fields)).string();
  const std::string record = (dir.path() / "ramp.rec").string();
  QProcess cli;
  cli.start(QUILLMARK_CLI,
            {"convert", QString::fromStdString(ramp), "-o", QString::fromStdString(record),
             "--model", QString::fromUtf8(kPrinterModels[0].code.data(), 2), "--threshold", "100",
             "--dither", "atkinson", "--invert", "--fit", "--rotate", "90"});
  ASSERT_TRUE(cli.waitForFinished(30000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const Bytes expected = *testing::ReadFileBytes(record);
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    dialog.pictureOptions = {100, Dither::kAtkinson, true, true, 90};  // as Picture Settings sets
    Tick(dialog, 4, ramp);
    ASSERT_NE(dialog.appState.Slot(4), nullptr);
    const Bytes slot = testing::BytesOf(*dialog.appState.Slot(4));
    EXPECT_EQ(slot, expected);
    // 40 x 300 turned, fitted to 2304 rows: 307 columns, kept as 312 x 2304 dots.
    const QString tip = QString::fromStdString(Box(dialog, 4).GetToolTipText());
    EXPECT_TRUE(tip.contains("ramp.bmp: 312 x 2304 dots")) << tip.left(80).toStdString();
    // The image as Qt's rich text, which draws the tip, loads it.
    const auto source = QRegularExpression("src=\"([^\"]+)\"").match(tip).captured(1);
    QTextDocument document;
    document.setHtml(tip);
    const QVariant loaded = document.resource(QTextDocument::ImageResource, QUrl(source));
    const QImage shown = loaded.value<QPixmap>().toImage();
    ASSERT_EQ(shown.size(), QSize(312, 2304));
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x)
        differing += (qGray(shown.pixel(x, y)) < 128) != test::DotAt(slot, x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
  });
}

void UsePort(CQuillmarkDlg& dialog, const std::filesystem::path& device) {
  dialog.portApi =
      std::make_unique<PosixPortApi>(PosixPortApi::DeviceMap{{"LPT1", device.string()}});
}

using Commands = GuiTest;

TEST_F(Commands, FileAndPatchWriteFilesAndAMissingPortOffersRetryUntilCancel) {
  TempDir dir;
  Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  original.resize(4096, 0x5A);
  const std::string image = dir.Write("image.bin", original).string();
  Bytes stream;
  RunProgram({"QXV"}, [&](CQuillmarkDlg& dialog) {
    auto built = BuildNvDefinitionStream(dialog.appState);
    stream.assign(built->bytes().begin(), built->bytes().end());
    testhook::QueueFileDialogCancel();  // nothing written, nothing shown
    Click(dialog, IDC_FILE);
    testhook::QueueFileDialogAnswer((dir.path() / "logo").string());  // saved as logo.BIN
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_FILE);
    testhook::QueueFileDialogAnswer(image);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_PATCH);
    UsePort(dialog, dir.path() / "absent");  // a missing port: Retry, then Cancel
    for (int answer : {IDRETRY, IDCANCEL, IDOK})
      testhook::QueueMessageBoxAnswer(answer);
    Click(dialog, IDC_DOWNLOAD);
  });
  EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 3u);
  const unsigned finish = MB_OK | MB_ICONINFORMATION, error = MB_RETRYCANCEL | MB_ICONEXCLAMATION;
  const std::pair<std::string, unsigned> expected[] = {{"Write Finish", finish},
                                                       {"Patch Finish", finish},
                                                       {"Communication Error", error},
                                                       {"Communication Error", error},
                                                       {"Communication Finish", finish}};
  const auto boxes = testhook::TakeShownMessageBoxes();
  ASSERT_EQ(boxes.size(), std::size(expected));
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(std::make_pair(boxes[i].text, boxes[i].type), expected[i]);
    EXPECT_EQ(boxes[i].ownerCaption, "Quillmark") << i;
  }
  // Why the port could not be opened is one click away: the device, the system's words,
  // the way out.
  EXPECT_EQ(boxes[2].details.rfind("cannot open LPT1 (" + (dir.path() / "absent").string() +
                                       "): No such file or directory. quillmark-cli ports",
                                   0),
            0u)
      << boxes[2].details;
  EXPECT_NE(boxes[2].details.find("port map file"), std::string::npos);
  EXPECT_EQ(testing::ReadFileBytes((dir.path() / "logo.BIN").string()), stream);
  // The image with the patched header and the stream over its start; the rest as it was.
  Bytes patched = original;
  ASSERT_LE(PatchedImageHeader.size() + stream.size(), patched.size());
  const auto after =
      std::copy(PatchedImageHeader.begin(), PatchedImageHeader.end(), patched.begin());
  std::copy(stream.begin(), stream.end(), after);
  EXPECT_EQ(testing::ReadFileBytes(image), patched);
}

// The port map file the window starts with leads LPT1 to a FIFO and COM3 to a network
// printer: DownLoad reaches the one, and Print, once Port Setting has chosen COM3, the other,
// each with the stream the core makes of the window's slots and mode; the send bar ends
// full. What a printer makes of the streams the command-line tests check.
TEST_F(Commands, DownLoadAndPrintReachThePortsThePortMapNames) {
  TempDir dir;
  const std::string fifo = (dir.path() / "lp0").string();
  ASSERT_TRUE(testing::MakeFifo(fifo));
  testing::LoopbackReceiver network;
  ASSERT_TRUE(network.ok());
  const std::filesystem::path config = dir.path() / "config";
  std::filesystem::create_directories(config / "quillmark");
  std::ofstream(config / "quillmark" / "ports.conf")
      << "LPT1 = " << fifo << "\nCOM3 = tcp:127.0.0.1:" << network.port() << "\n";
  const QByteArray userConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.string().c_str());
  const std::string picture = WriteBmp(dir, "p.bmp", 900, 20, [](auto c) { return c % 3 == 0; });
  Bytes printTest;
  const auto job = [&](CQuillmarkDlg& dialog) {
    Tick(dialog, 4, picture);
    const Bytes definition = testing::BytesOf(BuildNvDefinitionStream(dialog.appState));
    testing::FifoReader printer(fifo);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_DOWNLOAD);
    EXPECT_EQ(printer.Finish(), definition);
    const int size = static_cast<int>(definition.size());
    EXPECT_EQ(Bar(dialog.sendProgress), std::make_pair(size, size));
    testhook::QueueDialogAction<CPortSettingDlg>(IDD_PORT_SETTING, [](CPortSettingDlg& port) {
      port.portCombo.SetCurSel(6);  // COM3
      Click(port, IDOK);
    });
    Click(dialog, IDC_PORT);
    printTest = testing::BytesOf(BuildNvPrintTestStream(dialog.appState.portSettings.brixMode));
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_PRINT);
  };
  RunMainWindow(job, ChooseModel(IDC_MODEL_LAST));
  qputenv("XDG_CONFIG_HOME", userConfig);
  EXPECT_EQ(network.Finish(), printTest);
  EXPECT_EQ(testhook::TakeShownMessageBoxes().size(), 2u);  // "Communication Finish" each
}

}  // namespace
}  // namespace quillmark
