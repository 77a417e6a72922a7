// The File command: the Save As request, the bytes saved, and what a failure leaves.

#include "FileTestSupport.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

using namespace testing_support;

const Bytes kBlank = {0x01, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};

Bytes TenBlanksAfter(const Bytes& header) {
  Bytes out = header;
  for (int i = 0; i < 10; ++i)
    out.insert(out.end(), kBlank.begin(), kBlank.end());
  return out;
}

void ExpectShown(const ScriptedUi& ui, const std::string& text, const std::string& caption,
                 unsigned type) {
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, text);
  EXPECT_EQ(ui.shown[0].caption, caption);
  EXPECT_EQ(ui.shown[0].type, type);
}

TEST(FileCommands, DialogRequestsAndCancel) {
  struct Case {
    const char* name;
    FileCommandOutcome (*command)(const AppState&, CommandUi&);
    unsigned flags;
    const char* filter;
  };
  const Case cases[] = {
      {"File", &OnFile, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
       "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"},
      {"Patch", &OnPatch, OFN_HIDEREADONLY,
       "Varnok S Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    AppState state(kPlatformWin32Nt);
    ScriptedUi ui;
    ui.Answer(std::nullopt);
    const FileCommandOutcome outcome = c.command(state, ui);
    EXPECT_EQ(outcome.result, FileCommandResult::kCancelled);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_TRUE(folder.Names().empty());
    ASSERT_EQ(ui.requests.size(), 1u);
    const FileDialogRequest& request = ui.requests[0];
    EXPECT_FALSE(request.openFileDialog);
    EXPECT_EQ(request.defaultExtension, "BIN");
    EXPECT_EQ(request.initialFileName, "");
    EXPECT_EQ(request.flags, c.flags);
    EXPECT_EQ(request.filter, c.filter);
  }
}

TEST(FileCommands, SavesTheStreamByteForByte) {
  struct Case {
    const char* name;
    std::int32_t brixMode;
    std::optional<Bytes> existing;  // the file's content before, if it exists
    bool fillSlot4;
  };
  const Case cases[] = {
      {"new file, plain", 0, std::nullopt, false},
      {"new file, ESC", 1, std::nullopt, false},
      {"over a longer file", 0, Pattern(1000, 3), false},
      {"over a shorter file", 1, Pattern(5, 3), false},
      {"a filled slot", 0, std::nullopt, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string target = folder / "images.bin";
    if (c.existing) WriteWholeFile(target, *c.existing);
    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = c.brixMode;
    Bytes expected =
        TenBlanksAfter(c.brixMode != 0 ? Bytes{0x1B, 0x1C, 0x71, 0x0A} : Bytes{0x1C, 0x71, 0x0A});
    if (c.fillSlot4) {
      const Bytes record = Pattern(4 + 8 * 3 * 5, 9);
      state.imageSlots[3] = BlockOf(record);
      expected = Concat({{0x1C, 0x71, 0x0A},
                         kBlank,
                         kBlank,
                         kBlank,
                         record,
                         kBlank,
                         kBlank,
                         kBlank,
                         kBlank,
                         kBlank,
                         kBlank});
      // The same bytes DownLoad would send.
      const auto stream = BuildNvDefinitionStream(state);
      EXPECT_EQ(Bytes(stream->bytes().begin(), stream->bytes().end()), expected);
    }

    ScriptedUi ui;
    ui.Answer(target);
    const FileCommandOutcome outcome = OnFile(state, ui);
    EXPECT_EQ(outcome.result, FileCommandResult::kWriteFinish);
    ExpectShown(ui, "Write Finish", "Message", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(ui.shown[0].type, 0x40u);
    EXPECT_EQ(ReadWholeFile(target), expected);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"images.bin"});
  }
}

TEST(FileCommands, LongestFileNameStillSaves) {
  // The temporary file beside a 255-byte name must itself stay within the limit.
  ScratchFolder folder;
  const std::string target = folder / (std::string(251, 'n') + ".bin");
  AppState state(kPlatformWin32Nt);
  EXPECT_EQ(ExportDefinitionStream(state, target).result, FileCommandResult::kWriteFinish);
  EXPECT_EQ(ReadWholeFile(target)->size(), 124u);
  EXPECT_EQ(folder.Names().size(), 1u);
}

TEST(FileCommands, DescriptionNamesThePlaceAndTheSystemError) {
  ScratchFolder folder;
  AppState state(kPlatformWin32Nt);
  const std::string missing = folder / "missing";
  const FileCommandOutcome outcome = ExportDefinitionStream(state, missing + "/x.bin");
  ASSERT_EQ(outcome.result, FileCommandResult::kWriteError);
  const std::string text = DescribeOutcome(outcome);
  EXPECT_NE(text.find(missing), std::string::npos) << text;
  EXPECT_NE(text.find(std::generic_category().message(ENOENT)), std::string::npos) << text;
}

}  // namespace
}  // namespace quillmark
