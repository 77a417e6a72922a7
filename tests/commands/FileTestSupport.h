#pragma once

// Helpers for the File and Patch tests: a scratch folder, whole-file reads and writes, a
// scripted CommandUi and, on POSIX systems, a child process that runs a command under real
// limits (no privileges, a maximum file size) and reports what came of it.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <io.h>
#else
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "commands/CommandUi.h"
#include "commands/FileCommands.h"

namespace quillmark::testing_support {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

inline std::optional<Bytes> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// Bytes that differ from position to position, so that a shifted or lost byte shows.
inline Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
  return bytes;
}

inline ByteBlock BlockOf(const Bytes& bytes) {
  return std::move(*ByteBlock::CopyOf(bytes));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Closes a file descriptor of the C runtime.
inline int CloseDescriptor(int fd) {
#ifdef _WIN32
  return ::_close(fd);
#else
  return ::close(fd);
#endif
}

#ifndef _WIN32
inline unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<unsigned>(st.st_mode & 07777);
}

// The user a child process runs as when a test needs permissions to hold: nobody when the
// tests run as root (who ignores permission bits), else the user running them.
inline uid_t TestUid() {
  return ::geteuid() == 0 ? 65534 : ::geteuid();
}
inline gid_t TestGid() {
  return ::geteuid() == 0 ? 65534 : ::getegid();
}
inline void GiveToTestUser(const std::string& path) {
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), TestUid(), TestGid()), 0) << path;
  }
}
#endif

class ScriptedUi : public CommandUi {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    unsigned type;
  };

  // The next file dialog's answer: a path, or nothing for Cancel.
  void Answer(std::optional<std::string> path) { answers_.push_back(std::move(path)); }

  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    shown.push_back({text, caption, type});
    return IDOK;
  }
  std::optional<FileDialogResult> ChooseFile(const FileDialogRequest& request) override {
    requests.push_back(request);
    if (answers_.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(answers_.front());
    answers_.pop_front();
    if (!answer) return std::nullopt;
    return FileDialogResult{*answer, fs::path(*answer).filename().string()};
  }
  void SetProgressRange(std::uint32_t) override {}
  void SetProgressPos(std::uint32_t) override {}

  std::vector<FileDialogRequest> requests;
  std::vector<Shown> shown;

 private:
  std::deque<std::optional<std::string>> answers_;
};

// A folder of its own for each test, removed afterwards whatever its permissions.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "quillmark-files-%08x", static_cast<unsigned>(random()));
      const std::string candidate = ::testing::TempDir() + name;
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) ADD_FAILURE() << "no scratch folder could be made";
#ifndef _WIN32
    ::chmod(path_.c_str(), 0755);
    GiveToTestUser(path_);
#endif
  }
  ~ScratchFolder() {
    std::error_code ec;
#ifdef _WIN32
    // Windows removes no read-only file.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
#else
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0755);
    ::chmod(path_.c_str(), 0755);
#endif
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const {
    return path_;
  }
  std::string operator/(const std::string& name) const {
    return path_ + "/" + name;
  }

  // The names in the folder, sorted: shows a temporary file left behind or a file made.
  std::vector<std::string> Names(const std::string& sub = "") const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sub.empty() ? path_ : path_ + "/" + sub, ec)) {
      const std::u8string name = entry.path().filename().u8string();  // UTF-8 on every system
      names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

#ifndef _WIN32
// What a command run in a child process came to.
struct ChildReport {
  FileCommandResult result = FileCommandResult::kCancelled;
  FileCommandFailure failure = FileCommandFailure::kNone;
  FileStep step = FileStep::kNone;
  int error = 0;
  int messages = 0;
  char firstMessage[32] = {};
};

inline ChildReport ReportOf(const FileCommandOutcome& outcome, const ScriptedUi& ui) {
  ChildReport report;
  report.result = outcome.result;
  report.failure = outcome.failure;
  report.step = outcome.io.step;
  report.error = outcome.io.code.value();
  report.messages = static_cast<int>(ui.shown.size());
  if (!ui.shown.empty())
    std::strncpy(report.firstMessage, ui.shown.front().text.c_str(),
                 sizeof report.firstMessage - 1);
  return report;
}

struct ChildLimits {
  bool unprivileged = false;          // run as TestUid(), so permission bits hold
  std::optional<rlim_t> maxFileSize;  // RLIMIT_FSIZE: writes past it fail with EFBIG
};

inline ChildLimits Unprivileged() {
  return {true, std::nullopt};
}
inline ChildLimits MaxFileSize(rlim_t bytes) {
  return {false, bytes};
}

// Runs `body` in a forked child under `limits` and returns its report; nothing when the
// child did not finish cleanly.
inline std::optional<ChildReport> RunInChild(const ChildLimits& limits,
                                             const std::function<ChildReport()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (limits.maxFileSize) {
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
      const rlimit limit{*limits.maxFileSize, *limits.maxFileSize};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    }
    if (limits.unprivileged && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(TestGid()) != 0 || ::setuid(TestUid()) != 0)
        ::_exit(3);
    }
    const ChildReport report = body();
    const bool sent = ::write(fds[1], &report, sizeof report) == sizeof report;
    ::_exit(sent ? 0 : 4);
  }
  ::close(fds[1]);
  ChildReport report;
  const auto got = ::read(fds[0], &report, sizeof report);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (pid < 0 || got != sizeof report || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::nullopt;
  return report;
}
#endif

}  // namespace quillmark::testing_support
