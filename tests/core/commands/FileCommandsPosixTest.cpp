// File and Patch where POSIX systems are concerned: permission bits, owners, symbolic links,
// and failures produced for real by an unprivileged child or a file size limit.

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CommandsTestSupport.h"

namespace quillmark {
namespace {

using namespace testing;

// Root ignores permission bits, so as root the children that need them run as nobody
// (65534), and what they must own is given to nobody.
void GiveToTestUser(const std::string& path) {
  ASSERT_TRUE(::geteuid() != 0 || ::chown(path.c_str(), 65534, 65534) == 0) << path;
}

struct ChildReport {
  FileCommandResult result;
  FileStep step;
  int error;
  bool writeErrorShown;  // "Write Error" and no other box
};

// Runs `command` on `path` in a forked child with writes limited to `maxFileSize` bytes
// (they then fail with EFBIG) or, without a limit, unprivileged; nothing when the child
// did not finish.
std::optional<ChildReport> RunInChild(std::optional<rlim_t> maxFileSize, FileCommand command,
                                      const AppState& state, const std::string& path) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  if (const pid_t pid = ::fork(); pid != 0) {
    ::close(fds[1]);
    ChildReport report{};
    const bool got = ::read(fds[0], &report, sizeof report) == sizeof report;
    ::close(fds[0]);
    int status = 1;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return got && status == 0 ? std::optional(report) : std::nullopt;
  }
  const rlimit limit{maxFileSize.value_or(0), maxFileSize.value_or(0)};
  ::signal(SIGXFSZ, SIG_IGN);
  if ((maxFileSize && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
      (!maxFileSize && ::geteuid() == 0 &&
       (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)))
    ::_exit(3);
  ScriptedUi ui;
  ui.files = {path};
  const FileCommandOutcome outcome = command(state, ui);
  const ChildReport report{outcome.result, outcome.io.step, outcome.io.code.value(),
                           ui.messages == Messages{UserMessage::kWriteError}};
  ::_exit(::write(fds[1], &report, sizeof report) == sizeof report ? 0 : 4);
}

TEST(FileCommandsPosix, ReplacedFilesKeepPermissionsOwnerAndLinks) {
  struct Case {
    bool patch;
    std::optional<mode_t> mode;  // nothing: a new file
    mode_t expected;
    bool link;  // chosen through a symbolic link, which must stay one
  };
  // A new file gets 0666 less the umask (022 here); a replaced one keeps its bits and, where
  // the tests run as root, its owner.
  const Case cases[] = {{false, std::nullopt, 0644, false},
                        {false, 0640, 0640, false},
                        {false, 0604, 0604, true},
                        {true, 0640, 0640, true}};
  const mode_t oldMask = ::umask(022);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.patch << " " << c.expected);
    TempDir dir;
    fs::create_directory(dir.File("real"));
    const std::string real = dir.File("real/image.bin");
    const Bytes rest = Pattern(300, 1);
    if (c.mode) {
      WriteWholeFile(real, Concat({kExpectedHeader, rest}));
      ASSERT_EQ(::chmod(real.c_str(), *c.mode), 0);
      GiveToTestUser(real);
    }
    if (c.link) fs::create_symlink("real/image.bin", dir.File("link.bin"));
    const std::string chosen = c.link ? dir.File("link.bin") : real;
    AppState state(kPlatformWin32Nt);
    const FileCommandOutcome outcome =
        c.patch ? PatchMemoryImage(state, chosen) : ExportDefinitionStream(state, chosen);
    EXPECT_EQ(outcome.failure, FileCommandFailure::kNone);

    const Bytes stream = StreamOf(state);
    const auto tail = rest.begin() + static_cast<std::ptrdiff_t>(stream.size());
    EXPECT_EQ(ReadFileBytes(real),
              c.patch ? Concat({kPatchedHeader, stream, Bytes(tail, rest.end())}) : stream);
    EXPECT_EQ(dir.Names("real"), std::vector<std::string>{"image.bin"});
    EXPECT_EQ(fs::is_symlink(chosen), c.link);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expected);
    EXPECT_EQ(st.st_uid, c.mode && ::geteuid() == 0 ? 65534u : ::geteuid());
  }
  ::umask(oldMask);
}

// Each case runs in a child: unprivileged, so that permission bits hold even for root, or
// with no file allowed past 1000 bytes, so that a write fails part way for real. The
// previous file stays exactly as it was, and no temporary or new file is left.
TEST(FileCommandsPosix, FailedWritesGiveWriteErrorAndChangeNothing) {
  struct Case {
    const char* name;
    FileCommand command;
    mode_t fileMode;  // of "old.bin"; 0: no file there
    mode_t folderMode;
    const char* chosen;                 // in the folder "sub"
    std::optional<rlim_t> maxFileSize;  // nothing: an unprivileged child
    FileStep step;
  };
  using enum FileStep;
  const Case cases[] = {
      {"new file, read-only folder", &OnFile, 0, 0555, "new.bin", {}, kCreateTemporary},
      {"read-only file", &OnFile, 0444, 0755, "old.bin", {}, kOpenForWriting},
      {"file, read-only folder", &OnFile, 0644, 0555, "old.bin", {}, kCreateTemporary},
      {"a folder's name", &OnFile, 0, 0755, "", {}, kOpenForWriting},
      {"a missing folder", &OnFile, 0, 0755, "missing/new.bin", {}, kCreateTemporary},
      {"read-only image", &OnPatch, 0444, 0755, "old.bin", {}, kOpenForWriting},
      {"image, read-only folder", &OnPatch, 0644, 0555, "old.bin", {}, kCreateTemporary},
      {"File, size limit", &OnFile, 0644, 0755, "old.bin", 1000, kWrite},
      {"File, size limit, new file", &OnFile, 0, 0755, "new.bin", 1000, kWrite},
      {"Patch, size limit", &OnPatch, 0644, 0755, "old.bin", 1000, kWrite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string sub = dir.File("sub");
    ASSERT_TRUE(fs::create_directory(sub));
    const std::string old = dir.File("sub/old.bin");
    const Bytes before = Concat({kExpectedHeader, Pattern(5000, 5)});
    if (c.fileMode != 0) {
      WriteWholeFile(old, before);
      GiveToTestUser(old);
      ASSERT_EQ(::chmod(old.c_str(), c.fileMode), 0);
    }
    GiveToTestUser(sub);
    ASSERT_EQ(::chmod(sub.c_str(), c.folderMode), 0);
    const std::vector<std::string> names = dir.Names("sub");
    AppState state(kPlatformWin32Nt);
    state.imageSlots[0] = std::move(*ByteBlock::CopyOf(Pattern(2000, 4)));

    const auto report = RunInChild(c.maxFileSize, c.command, state, dir.File("sub/") + c.chosen);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->result, FileCommandResult::kWriteError);
    EXPECT_EQ(report->step, c.step);
    EXPECT_EQ(report->error == EFBIG, c.maxFileSize.has_value());
    EXPECT_TRUE(report->writeErrorShown);
    EXPECT_EQ(dir.Names("sub"), names);
    EXPECT_EQ(ReadFileBytes(old), c.fileMode != 0 ? std::optional(before) : std::nullopt);
  }
}

}  // namespace
}  // namespace quillmark
