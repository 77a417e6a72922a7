// The File command where POSIX systems are concerned: permission bits, owners, symbolic
// links, and failures produced for real by an unprivileged child or a file size limit.

#include <sys/stat.h>

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

TEST(FileCommands, PermissionsOfNewAndReplacedFiles) {
  struct Case {
    std::optional<unsigned> existingMode;  // nothing: a new file
    unsigned expectedMode;
  };
  // A new file gets what any new file gets (0666 less the umask, 022 here); a replaced one
  // keeps its own bits.
  const Case cases[] = {{std::nullopt, 0644}, {0640, 0640}, {0600, 0600}, {0664, 0664}};
  const mode_t oldMask = ::umask(022);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectedMode);
    ScratchFolder folder;
    const std::string target = folder / "out.bin";
    if (c.existingMode) {
      WriteWholeFile(target, Pattern(300, 1));
      ASSERT_EQ(::chmod(target.c_str(), *c.existingMode), 0);
    }
    AppState state(kPlatformWin32Nt);
    EXPECT_EQ(ExportDefinitionStream(state, target).result, FileCommandResult::kWriteFinish);
    EXPECT_EQ(ModeOf(target), c.expectedMode);
  }
  ::umask(oldMask);
}

// Only root can give a file to another user, so only root can see this hold.
TEST(FileCommands, ReplacedFileKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files for another user";
  const Bytes header(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
  for (const bool patch : {false, true}) {
    ScratchFolder folder;
    const std::string target = folder / "owned.bin";
    WriteWholeFile(target, Concat({header, Pattern(100, 1)}));
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    AppState state(kPlatformWin32Nt);
    const FileCommandOutcome outcome =
        patch ? PatchMemoryImage(state, target) : ExportDefinitionStream(state, target);
    EXPECT_EQ(outcome.failure, FileCommandFailure::kNone);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
}

TEST(FileCommands, SymbolicLinkKeepsPointingAtTheNewContent) {
  ScratchFolder folder;
  fs::create_directory(folder / "real");
  const std::string real = folder / "real/images.bin";
  WriteWholeFile(real, Pattern(500, 2));
  fs::create_symlink("real/images.bin", folder / "link.bin");

  AppState state(kPlatformWin32Nt);
  state.portSettings.brixMode = 0;
  ASSERT_EQ(ExportDefinitionStream(state, folder / "link.bin").result,
            FileCommandResult::kWriteFinish);
  EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
  EXPECT_EQ(ReadWholeFile(real), TenBlanksAfter({0x1C, 0x71, 0x0A}));
  EXPECT_EQ(folder.Names("real"), std::vector<std::string>{"images.bin"});
}

// Each case is run by an unprivileged child, so that permission bits hold even when the
// tests run as root. The previous file must be exactly as it was, and nothing new made.
TEST(FileCommands, UnwritableTargetsGiveWriteErrorAndChangeNothing) {
  struct Case {
    const char* name;
    bool existing;
    unsigned fileMode;
    unsigned folderMode;
    const char* chosen;  // relative to the scratch folder
    FileStep step;
  };
  const Case cases[] = {
      {"new file in a read-only folder", false, 0, 0555, "sub/new.bin", FileStep::kCreateTemporary},
      {"read-only file in a writable folder", true, 0444, 0755, "sub/old.bin",
       FileStep::kOpenForWriting},
      {"writable file in a read-only folder", true, 0644, 0555, "sub/old.bin",
       FileStep::kCreateTemporary},
      {"a folder's name", false, 0, 0755, "sub", FileStep::kOpenForWriting},
      {"a folder that does not exist", false, 0, 0755, "sub/missing/new.bin",
       FileStep::kCreateTemporary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string sub = folder / "sub";
    ASSERT_TRUE(fs::create_directory(sub));
    const Bytes old = Pattern(777, 5);
    if (c.existing) {
      WriteWholeFile(folder / "sub/old.bin", old);
      GiveToTestUser(folder / "sub/old.bin");
      ASSERT_EQ(::chmod((folder / "sub/old.bin").c_str(), c.fileMode), 0);
    }
    GiveToTestUser(sub);
    ASSERT_EQ(::chmod(sub.c_str(), c.folderMode), 0);
    const std::vector<std::string> before = folder.Names("sub");

    AppState state(kPlatformWin32Nt);
    const std::string chosen = folder / c.chosen;
    const auto report = RunInChild(Unprivileged(), [&] {
      ScriptedUi ui;
      ui.Answer(chosen);
      const FileCommandOutcome outcome = OnFile(state, ui);
      return ReportOf(outcome, ui);
    });
    ASSERT_TRUE(report);
    EXPECT_EQ(report->result, FileCommandResult::kWriteError);
    EXPECT_EQ(report->step, c.step);
    EXPECT_EQ(report->messages, 1);
    EXPECT_STREQ(report->firstMessage, "Write Error");
    EXPECT_EQ(folder.Names("sub"), before);
    if (c.existing) {
      EXPECT_EQ(ReadWholeFile(folder / "sub/old.bin"), old);
    }
  }
}

// A write that fails part way, for real: the child may write no file past 1000 bytes, so
// a 2,000-byte stream stops with EFBIG. The old file, longer than the limit, stays whole.
TEST(FileCommands, WriteFailingPartWayLeavesTheOldFileIntact) {
  for (const bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "over an existing file" : "a new file");
    ScratchFolder folder;
    const std::string target = folder / "images.bin";
    const Bytes old = Pattern(5000, 11);
    if (existing) WriteWholeFile(target, old);
    const std::vector<std::string> before = folder.Names();

    AppState state(kPlatformWin32Nt);
    state.imageSlots[0] = BlockOf(Pattern(2000, 4));
    const auto report = RunInChild(MaxFileSize(1000), [&] {
      ScriptedUi ui;
      ui.Answer(target);
      const FileCommandOutcome outcome = OnFile(state, ui);
      return ReportOf(outcome, ui);
    });
    ASSERT_TRUE(report);
    EXPECT_EQ(report->result, FileCommandResult::kWriteError);
    EXPECT_EQ(report->step, FileStep::kWrite);
    EXPECT_EQ(report->error, EFBIG);
    EXPECT_STREQ(report->firstMessage, "Write Error");
    EXPECT_EQ(folder.Names(), before);  // no temporary file left, no new file made
    if (existing) {
      EXPECT_EQ(ReadWholeFile(target), old);
    }
  }
}

}  // namespace
}  // namespace quillmark
