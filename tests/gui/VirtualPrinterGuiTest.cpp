// The whole job from the window: pictures ticked into slots, DownLoad and Print sent
// through a FIFO mapped as LPT1, and what arrived fed to the virtual printer, whose sheet
// must show each slot's picture, dot for dot, under its "[ImageN]" label.

#include "CliTestSupport.h"
#include "GuiTest.h"
#include "app/QuillmarkDlg.h"
#include "dialogs/PrinterModels.h"
#include "port/posix/PosixPortApi.h"
#include "res/Resource.h"
#include "support/TestDevices.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark {
namespace {

using testing::TestPicture;

TEST_F(GuiTest, DownLoadAndPrintOntoTheVirtualPrinter) {
  testing::TempDir dir;
  const std::string fifo = dir.File("lp0");
  ASSERT_TRUE(testing::MakeFifo(fifo));
  const std::vector<std::pair<int, TestPicture>> pictures = {
      {1, testing::Stripes()}, {4, testing::WideTriangle()}, {10, testing::Checker()}};
  for (const auto& [slot, picture] : pictures)
    testing::WritePicture(dir.File("slot" + std::to_string(slot) + ".bmp"), picture);

  std::vector<std::uint8_t> received;
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [](CDialog& dialog) {
    Click(dialog, 1026);  // W4: 832 dots across
    Click(dialog, IDOK);
  });
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
    dialog.portApi = std::make_unique<PosixPortApi>(PosixPortApi::DeviceMap{{"LPT1", fifo}});
    for (const auto& [slot, picture] : pictures) {
      testhook::QueueFileDialogAnswer(dir.File("slot" + std::to_string(slot) + ".bmp"));
      Click(dialog, 1005 + slot);
    }
    for (int button : {IDC_DOWNLOAD, IDC_PRINT}) {
      testing::FifoReader printer(fifo);
      testhook::QueueMessageBoxAnswer(IDOK);  // "Communication Finish"
      Click(dialog, button);
      const auto& bytes = printer.Finish();
      received.insert(received.end(), bytes.begin(), bytes.end());
    }
    Click(dialog, IDOK);
  });
  CQuillmarkDlg main;
  main.DoModal();
  testhook::TakeShownFileDialogs();
  for (const auto& box : testhook::TakeShownMessageBoxes())
    EXPECT_EQ(box.text, "Communication Finish");

  VirtualPrinter printer(VirtualPrinterConfigFor(*PrinterModelByCode("W4")));
  printer.Feed(received);
  const Paper paper = printer.TakePaper();
  EXPECT_EQ(printer.bytesIgnored(), 0u);
  test::DecodedPng sheet{paper.width(), paper.height(), {}};
  for (int y = 0; y < paper.height(); ++y)
    for (int x = 0; x < paper.width(); ++x)
      sheet.black.push_back(paper.Dot(x, y));
  std::vector<std::optional<TestPicture>> expected(10);
  for (const auto& [slot, picture] : pictures)
    expected[static_cast<std::size_t>(slot - 1)] = picture;
  testing::ExpectPrintTestSheet(sheet, expected, 832);
}

}  // namespace
}  // namespace quillmark
