// The Patch command where POSIX systems are concerned: symbolic links, and failures
// produced for real by an unprivileged child or a file size limit.

#include "FileTestSupport.h"

namespace quillmark {
namespace {

using namespace testing_support;

const Bytes kExpected(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
const Bytes kPatched(PatchedImageHeader.begin(), PatchedImageHeader.end());

// An image whose header passes, followed by `rest`.
Bytes Image(const Bytes& rest) {
  return Concat({kExpected, rest});
}

// Run by an unprivileged child so that the permission bits hold even for root.
TEST(Patch, ImageThatCannotBeUpdatedGivesWriteError) {
  struct Case {
    const char* name;
    unsigned fileMode;
    unsigned folderMode;
    FileStep step;
  };
  const Case cases[] = {
      {"read-only image", 0444, 0755, FileStep::kOpenForWriting},
      {"writable image in a read-only folder", 0644, 0555, FileStep::kCreateTemporary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string sub = folder / "sub";
    ASSERT_TRUE(fs::create_directory(sub));
    const std::string target = sub + "/image.bin";
    const Bytes before = Image(Pattern(300, 8));
    WriteWholeFile(target, before);
    GiveToTestUser(target);
    GiveToTestUser(sub);
    ASSERT_EQ(::chmod(target.c_str(), c.fileMode), 0);
    ASSERT_EQ(::chmod(sub.c_str(), c.folderMode), 0);

    AppState state(kPlatformWin32Nt);
    const auto report = RunInChild(Unprivileged(), [&] {
      ScriptedUi ui;
      ui.Answer(target);
      const FileCommandOutcome outcome = OnPatch(state, ui);
      return ReportOf(outcome, ui);
    });
    ASSERT_TRUE(report);
    EXPECT_EQ(report->result, FileCommandResult::kWriteError);
    EXPECT_EQ(report->step, c.step);
    EXPECT_EQ(report->messages, 1);
    EXPECT_STREQ(report->firstMessage, "Write Error");
    EXPECT_EQ(ReadWholeFile(target), before);
    EXPECT_EQ(folder.Names("sub"), std::vector<std::string>{"image.bin"});
  }
}

// A real write failure part way through the copy: no file may grow past 1 KiB in the
// child, and the image is 4 KiB. The image keeps its old header and every byte.
TEST(Patch, WriteFailingPartWayLeavesTheImageIntact) {
  ScratchFolder folder;
  const std::string target = folder / "image.bin";
  const Bytes before = Image(Pattern(4096 - 32, 6));
  WriteWholeFile(target, before);

  AppState state(kPlatformWin32Nt);
  const auto report = RunInChild(MaxFileSize(1024), [&] {
    ScriptedUi ui;
    ui.Answer(target);
    const FileCommandOutcome outcome = OnPatch(state, ui);
    return ReportOf(outcome, ui);
  });
  ASSERT_TRUE(report);
  EXPECT_EQ(report->result, FileCommandResult::kWriteError);
  EXPECT_EQ(report->step, FileStep::kWrite);
  EXPECT_EQ(report->error, EFBIG);
  EXPECT_STREQ(report->firstMessage, "Write Error");
  EXPECT_EQ(ReadWholeFile(target), before);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"image.bin"});
}

TEST(Patch, ThroughASymbolicLink) {
  ScratchFolder folder;
  const std::string real = folder / "real.bin";
  WriteWholeFile(real, Image(Pattern(300, 4)));
  fs::create_symlink("real.bin", folder / "link.bin");
  AppState state(kPlatformWin32Nt);
  ASSERT_EQ(PatchMemoryImage(state, folder / "link.bin").result, FileCommandResult::kPatchFinish);
  EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
  const auto after = ReadWholeFile(real);
  ASSERT_TRUE(after);
  EXPECT_EQ(Bytes(after->begin(), after->begin() + 32), kPatched);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link.bin", "real.bin"}));
}

}  // namespace
}  // namespace quillmark
