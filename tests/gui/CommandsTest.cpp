// The output commands pressed in the main window: File, Patch, DownLoad and Print, with
// real files, a FIFO standing in for the printer port, and answered message boxes.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "GuiTest.h"
#include "app/QuillmarkApp.h"
#include "app/QuillmarkDlg.h"
#include "commands/FileCommands.h"
#include "port/posix/PosixPortApi.h"
#include "res/Resource.h"
#include "streams/Streams.h"
#include "support/TestDevices.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FifoReader;
using testing::TempDir;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes StreamOf(const AppState& state) {
  auto stream = BuildNvDefinitionStream(state);
  return stream ? Bytes(stream->bytes().begin(), stream->bytes().end()) : Bytes{};
}

// Runs the program with `arguments` on its command line: Target Printer confirmed at once,
// then `action` in the main window, then Exit.
void RunMainWindow(std::vector<const char*> arguments, std::function<void(CQuillmarkDlg&)> action) {
  std::vector<const char*> argv{"quillmark"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  CQuillmarkApp app;
  app.SetCommandLine(static_cast<int>(argv.size()), argv.data());
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [](CDialog& dialog) { Click(dialog, IDOK); });
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [&](CQuillmarkDlg& dialog) {
    action(dialog);
    Click(dialog, IDOK);
  });
  EXPECT_FALSE(app.InitInstance());
}

void ExpectBoxes(const std::vector<std::pair<std::string, unsigned>>& expected) {
  const auto shown = testhook::TakeShownMessageBoxes();
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].text, expected[i].first) << i;
    EXPECT_EQ(shown[i].type, expected[i].second) << i;
    EXPECT_EQ(shown[i].caption, expected[i].second == 0x40 ? "Message" : "Waring Message") << i;
    EXPECT_EQ(shown[i].ownerCaption, "Quillmark") << i;
  }
}

using Commands = GuiTest;

TEST_F(Commands, FileSavesTheStreamUnderTheTypedName) {
  TempDir dir;
  ASSERT_TRUE(dir.ok());
  // A typed name without extension gets "BIN"; an existing file is replaced after the
  // question is answered Yes.
  WriteFile(dir.File("old.bin"), Bytes(500, 0xEE));
  RunMainWindow({}, [&](CQuillmarkDlg& dialog) {
    testhook::QueueFileDialogAnswer(dir.File("logo"));
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_FILE);
    EXPECT_EQ(ReadFile(dir.File("logo.BIN")), StreamOf(dialog.appState));

    dialog.appState.portSettings.brixMode = 0;
    testhook::QueueFileDialogAnswer(dir.File("old.bin"));
    testhook::QueueMessageBoxAnswer(IDYES);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_FILE);
    const Bytes saved = ReadFile(dir.File("old.bin"));
    EXPECT_EQ(saved.size(), 123u);
    EXPECT_EQ(saved, StreamOf(dialog.appState));
  });
  const auto dialogs = testhook::TakeShownFileDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_FALSE(dialogs[0].request.openFileDialog);
  EXPECT_EQ(dialogs[0].request.filter, "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||");
  EXPECT_EQ(dialogs[0].request.flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  EXPECT_EQ(dialogs[0].request.defaultExtension, "BIN");
  const auto shown = testhook::TakeShownMessageBoxes();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Write Finish");
  EXPECT_NE(shown[1].text.find("already exists"), std::string::npos);  // the overwrite question
  EXPECT_EQ(shown[2].text, "Write Finish");
}

TEST_F(Commands, FileIntoAMissingFolderSaysWriteError) {
  TempDir dir;
  RunMainWindow({}, [&](CQuillmarkDlg& dialog) {
    testhook::QueueFileDialogAnswer(dir.File("missing/out.bin"));
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_FILE);
  });
  testhook::TakeShownFileDialogs();
  ExpectBoxes({{"Write Error", 0x30}});
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST_F(Commands, PatchWritesIntoAMemoryImageInServiceMode) {
  TempDir dir;
  const std::string image = dir.File("image.bin");
  Bytes original(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  original.resize(4096, 0x5A);
  WriteFile(image, original);
  Bytes stream;
  RunMainWindow({"QXV"}, [&](CQuillmarkDlg& dialog) {
    stream = StreamOf(dialog.appState);
    testhook::QueueFileDialogAnswer(image);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_PATCH);
    // A second patch of the same image is refused: its header has changed.
    testhook::QueueFileDialogAnswer(image);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_PATCH);
  });
  const auto dialogs = testhook::TakeShownFileDialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].request.filter, "Varnok S Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||");
  EXPECT_EQ(dialogs[0].request.flags, OFN_HIDEREADONLY);
  ExpectBoxes({{"Patch Finish", 0x40}, {"Read Error", 0x30}});

  Bytes expected(PatchedImageHeader.begin(), PatchedImageHeader.end());
  expected.insert(expected.end(), stream.begin(), stream.end());
  expected.insert(expected.end(), original.begin() + static_cast<long>(expected.size()),
                  original.end());
  EXPECT_EQ(ReadFile(image), expected);
}

TEST_F(Commands, DownLoadAndPrintReachThePrinterPort) {
  TempDir dir;
  const std::string fifo = dir.File("lp0");
  ASSERT_TRUE(testing::MakeFifo(fifo));
  struct Case {
    int button;
    std::int32_t brixMode;
    std::size_t bytes;
  };
  const Case cases[] = {
      {IDC_DOWNLOAD, 1, 124}, {IDC_DOWNLOAD, 0, 123}, {IDC_PRINT, 1, 162}, {IDC_PRINT, 0, 152}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    FifoReader printer(fifo);
    ASSERT_TRUE(printer.ok());
    Bytes expected;
    int barPos = -1, barMax = -1;
    RunMainWindow({}, [&](CQuillmarkDlg& dialog) {
      dialog.portApi = std::make_unique<PosixPortApi>(PosixPortApi::DeviceMap{{"LPT1", fifo}});
      dialog.appState.portSettings.brixMode = c.brixMode;
      auto stream = c.button == IDC_DOWNLOAD ? BuildNvDefinitionStream(dialog.appState)
                                             : BuildNvPrintTestStream(c.brixMode);
      expected.assign(stream->bytes().begin(), stream->bytes().end());
      testhook::QueueMessageBoxAnswer(IDOK);
      Click(dialog, c.button);
      int lower = 0;
      dialog.sendProgress.GetRange(lower, barMax);
      barPos = dialog.sendProgress.GetPos();
    });
    EXPECT_EQ(printer.Finish(), expected);
    EXPECT_EQ(expected.size(), c.bytes);
    // The upper bar ends full: its range is the stream's size.
    EXPECT_EQ(barMax, static_cast<int>(c.bytes));
    EXPECT_EQ(barPos, static_cast<int>(c.bytes));
    ExpectBoxes({{"Communication Finish", 0x40}});
  }
}

TEST_F(Commands, MissingPortOffersRetryUntilCancel) {
  TempDir dir;
  RunMainWindow({}, [&](CQuillmarkDlg& dialog) {
    dialog.portApi =
        std::make_unique<PosixPortApi>(PosixPortApi::DeviceMap{{"LPT1", dir.File("absent")}});
    testhook::QueueMessageBoxAnswer(IDRETRY);
    testhook::QueueMessageBoxAnswer(IDCANCEL);
    testhook::QueueMessageBoxAnswer(IDOK);
    Click(dialog, IDC_DOWNLOAD);
  });
  ExpectBoxes({{"Communication Error", 0x35},
               {"Communication Error", 0x35},
               {"Communication Finish", 0x40}});
}

}  // namespace
}  // namespace quillmark
