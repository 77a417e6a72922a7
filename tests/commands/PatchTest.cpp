// The Patch command: the header test, the size limit, the patched image, and what a
// refusal or a failure leaves.

#include "FileTestSupport.h"
#include "streams/Streams.h"

namespace quillmark {
namespace {

using namespace testing_support;

const Bytes kExpected(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
const Bytes kPatched(PatchedImageHeader.begin(), PatchedImageHeader.end());

Bytes StreamOf(const AppState& state) {
  const auto stream = BuildNvDefinitionStream(state);
  return Bytes(stream->bytes().begin(), stream->bytes().end());
}

// An image whose header passes, followed by `rest`.
Bytes Image(const Bytes& rest) {
  return Concat({kExpected, rest});
}

TEST(Patch, WritesHeaderAndStreamAndKeepsTheRest) {
  struct Case {
    const char* name;
    std::int32_t brixMode;
    std::size_t restSize;  // bytes after the header before the patch
    unsigned mode;         // permission bits, where the system has them
  };
  const Case cases[] = {
      {"plain, 400 bytes after the header", 0, 400, 0644},
      {"ESC, 400 bytes after the header", 1, 400, 0640},
      // A tail longer than the copy buffer, so the copy takes several rounds.
      {"plain, a long tail", 0, 700000, 0600},
      // Shorter than 32 + S: the file grows to exactly 32 + S.
      {"header alone", 0, 0, 0644},
      {"header and 40 bytes", 1, 40, 0644},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string target = folder / "image.bin";
    const Bytes before = Image(Pattern(c.restSize, 17));
    WriteWholeFile(target, before);
#ifndef _WIN32
    ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
#endif

    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = c.brixMode;
    const Bytes stream = StreamOf(state);
    ASSERT_EQ(stream.size(), c.brixMode != 0 ? 124u : 123u);
    Bytes expected = Concat({kPatched, stream});
    if (before.size() > expected.size())
      expected.insert(expected.end(), before.begin() + static_cast<std::ptrdiff_t>(expected.size()),
                      before.end());

    ScriptedUi ui;
    ui.Answer(target);
    const FileCommandOutcome outcome = OnPatch(state, ui);
    EXPECT_EQ(outcome.result, FileCommandResult::kPatchFinish);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Patch Finish");
    EXPECT_EQ(ui.shown[0].caption, "Message");
    EXPECT_EQ(ui.shown[0].type, 0x40u);
    EXPECT_EQ(ReadWholeFile(target), expected);
#ifndef _WIN32
    EXPECT_EQ(ModeOf(target), c.mode);  // the permission bits survive the replacement
#endif
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"image.bin"});
  }
}

TEST(Patch, SizeLimitIsInclusive) {
  // Slot 1 is sized so that 3 + record + nine blanks is the size wanted (plain header).
  for (const std::uint64_t streamSize : {std::uint64_t{524256}, std::uint64_t{524257}}) {
    SCOPED_TRACE(streamSize);
    ScratchFolder folder;
    const std::string target = folder / "image.bin";
    const Bytes before = Image(Pattern(524288 + 100 - 32, 23));
    WriteWholeFile(target, before);

    AppState state(kPlatformWin32Nt);
    state.portSettings.brixMode = 0;
    state.imageSlots[0] = BlockOf(Pattern(streamSize - 3 - 9 * 12, 29));
    ASSERT_EQ(NvDefinitionStreamSize(state), streamSize);

    ScriptedUi ui;
    ui.Answer(target);
    const FileCommandOutcome outcome = OnPatch(state, ui);
    ASSERT_EQ(ui.shown.size(), 1u);
    if (streamSize <= MaxPatchStreamSize) {
      EXPECT_EQ(outcome.result, FileCommandResult::kPatchFinish);
      // Header and stream fill the first 512 KiB exactly; the last 100 bytes stay.
      Bytes expected = Concat({kPatched, StreamOf(state)});
      ASSERT_EQ(expected.size(), 524288u);
      expected.insert(expected.end(), before.end() - 100, before.end());
      EXPECT_EQ(ReadWholeFile(target), expected);
    } else {
      EXPECT_EQ(outcome.result, FileCommandResult::kReadError);
      EXPECT_EQ(outcome.failure, FileCommandFailure::kStreamTooLarge);
      EXPECT_EQ(ui.shown[0].text, "Read Error");
      EXPECT_EQ(ReadWholeFile(target), before);
    }
  }
}

TEST(Patch, RefusedImagesGiveReadErrorAndStayUntouched) {
  struct Case {
    const char* name;
    std::optional<Bytes> content;  // nothing: the name does not exist
    bool folder;                   // the name is a folder's
    bool oversized;                // the stream is also over the limit
    FileCommandFailure failure;
  };
  Bytes byte2 = Image(Pattern(200, 1));
  byte2[2] = 0x31;
  Bytes byte12 = Image(Pattern(200, 1));
  byte12[12] = 0x00;
  const Case cases[] = {
      {"31 bytes", Bytes(kExpected.begin(), kExpected.end() - 1), false, false,
       FileCommandFailure::kImageTooShort},
      {"empty", Bytes{}, false, false, FileCommandFailure::kImageTooShort},
      {"byte 2 differs", byte2, false, false, FileCommandFailure::kWrongHeader},
      {"byte 12 differs", byte12, false, false, FileCommandFailure::kWrongHeader},
      {"patched before", Concat({kPatched, Pattern(200, 1)}), false, false,
       FileCommandFailure::kAlreadyPatched},
      // The header is tested before the size: a wrong header is reported as such.
      {"wrong header and a stream too large", byte2, false, true, FileCommandFailure::kWrongHeader},
      {"no such file", std::nullopt, false, false, FileCommandFailure::kFileSystem},
      {"a folder", std::nullopt, true, false, FileCommandFailure::kFileSystem},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string target = folder / "image.bin";
    if (c.content) WriteWholeFile(target, *c.content);
    if (c.folder) fs::create_directory(target);
    const std::vector<std::string> before = folder.Names();

    AppState state(kPlatformWin32Nt);
    if (c.oversized) state.imageSlots[0] = BlockOf(Pattern(MaxPatchStreamSize, 2));
    ScriptedUi ui;
    ui.Answer(target);
    const FileCommandOutcome outcome = OnPatch(state, ui);
    EXPECT_EQ(outcome.result, FileCommandResult::kReadError);
    EXPECT_EQ(outcome.failure, c.failure);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Read Error");
    EXPECT_EQ(ui.shown[0].caption, "Waring Message");
    EXPECT_EQ(ui.shown[0].type, 0x30u);
    EXPECT_EQ(folder.Names(), before);  // in particular no file made for a missing name
    if (c.content) {
      EXPECT_EQ(ReadWholeFile(target), c.content);
    }
  }
}

}  // namespace
}  // namespace quillmark
