// The output commands pressed in the main window: File and Patch into real files,
// DownLoad and Print through a FIFO mapped as LPT1 onto the virtual printer, whose sheet
// must show each slot's picture dot for dot.

#include <fstream>
#include <iterator>

#include "CliTestSupport.h"
#include "GuiTest.h"
#include "commands/FileCommands.h"
#include "dialogs/PrinterModels.h"
#include "port/posix/PosixPortApi.h"
#include "streams/Streams.h"
#include "support/TestDevices.h"
#include "virtualprinter/VirtualPrinter.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempDir;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void UsePort(CQuillmarkDlg& dialog, const std::string& device) {
  dialog.portApi = std::make_unique<PosixPortApi>(PosixPortApi::DeviceMap{{"LPT1", device}});
}

// The message boxes shown, each owned by the main window.
void ExpectBoxes(const std::vector<std::pair<std::string, unsigned>>& expected) {
  const auto shown = testhook::TakeShownMessageBoxes();
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].text, expected[i].first) << i;
    EXPECT_EQ(shown[i].type, expected[i].second) << i;
    EXPECT_EQ(shown[i].ownerCaption, "Quillmark") << i;
  }
}

constexpr unsigned kInformation = MB_OK | MB_ICONINFORMATION;

using Commands = GuiTest;

TEST_F(Commands, FileAndPatchWriteTheStreamIntoFiles) {
  TempDir dir;
  const std::string image = dir.File("image.bin");
  Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  original.resize(4096, 0x5A);
  std::ofstream(image, std::ios::binary)
      .write(reinterpret_cast<const char*>(original.data()),
             static_cast<std::streamsize>(original.size()));
  Bytes stream;
  RunProgram({"QXV"}, [&](CQuillmarkDlg& dialog) {
    auto built = BuildNvDefinitionStream(dialog.appState);
    stream.assign(built->bytes().begin(), built->bytes().end());
    testhook::QueueFileDialogAnswer(dir.File("logo"));  // saved with the extension BIN
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_FILE);
    testhook::QueueFileDialogAnswer(image);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_PATCH);
  });
  EXPECT_EQ(testhook::TakeShownFileDialogs().size(), 2u);
  ExpectBoxes({{"Write Finish", kInformation}, {"Patch Finish", kInformation}});
  EXPECT_EQ(ReadFile(dir.File("logo.BIN")), stream);
  Bytes patched(PatchedImageHeader.begin(), PatchedImageHeader.end());
  patched.insert(patched.end(), stream.begin(), stream.end());
  patched.insert(patched.end(), original.begin() + static_cast<long>(patched.size()),
                 original.end());
  EXPECT_EQ(ReadFile(image), patched);
}

TEST_F(Commands, AMissingPortOffersRetryUntilCancel) {
  TempDir dir;
  RunMainWindow([&](CQuillmarkDlg& dialog) {
    UsePort(dialog, dir.File("absent"));
    for (int answer : {IDRETRY, IDCANCEL, IDOK})
      testhook::QueueMessageBoxAnswer(answer);
    Click(dialog, IDC_DOWNLOAD);
  });
  const unsigned error = MB_RETRYCANCEL | MB_ICONEXCLAMATION;
  ExpectBoxes({{"Communication Error", error},
               {"Communication Error", error},
               {"Communication Finish", kInformation}});
}

TEST_F(Commands, DownLoadAndPrintOntoTheVirtualPrinter) {
  TempDir dir;
  const std::string fifo = dir.File("lp0");
  ASSERT_TRUE(testing::MakeFifo(fifo));
  const std::vector<std::pair<int, testing::TestPicture>> pictures = {
      {1, testing::Stripes()}, {4, testing::WideTriangle()}, {10, testing::Checker()}};
  Bytes received;
  RunMainWindow(
      [&](CQuillmarkDlg& dialog) {
        UsePort(dialog, fifo);
        for (const auto& [slot, picture] : pictures) {
          const std::string file = dir.File("slot" + std::to_string(slot) + ".bmp");
          testing::WritePicture(file, picture);
          testhook::QueueFileDialogAnswer(file);
          Click(dialog, IDC_BITMAP1 + slot - 1);
        }
        for (int button : {IDC_DOWNLOAD, IDC_PRINT}) {
          testing::FifoReader printer(fifo);
          testhook::QueueMessageBoxAnswer(IDOK);
          Click(dialog, button);
          const Bytes& bytes = printer.Finish();
          received.insert(received.end(), bytes.begin(), bytes.end());
          // The send bar ends full: its range is the stream's size.
          int lower = -1, upper = -1;
          dialog.sendProgress.GetRange(lower, upper);
          EXPECT_EQ(std::make_pair(upper, dialog.sendProgress.GetPos()),
                    std::make_pair(static_cast<int>(bytes.size()), static_cast<int>(bytes.size())));
        }
      },
      IDC_MODEL_LAST);  // 832 dots across
  testhook::TakeShownFileDialogs();
  ExpectBoxes({{"Communication Finish", kInformation}, {"Communication Finish", kInformation}});

  VirtualPrinter printer(VirtualPrinterConfigFor(*PrinterModelByCode("W4")));
  printer.Feed(received);
  const Paper paper = printer.TakePaper();
  EXPECT_EQ(printer.bytesIgnored(), 0u);
  test::DecodedPng sheet{paper.width(), paper.height(), {}};
  for (int y = 0; y < paper.height(); ++y)
    for (int x = 0; x < paper.width(); ++x)
      sheet.black.push_back(paper.Dot(x, y));
  std::vector<std::optional<testing::TestPicture>> expected(10);
  for (const auto& [slot, picture] : pictures)
    expected[static_cast<std::size_t>(slot - 1)] = picture;
  testing::ExpectPrintTestSheet(sheet, expected, 832);
}

}  // namespace
}  // namespace quillmark
