#pragma once

// Runs the real quillmark-cli executable for end-to-end tests: arguments in, exit status,
// standard output and standard error out. Standard input is /dev/null unless a test hands
// in a descriptor (a pseudo-terminal, to play the user). A process that does not end within
// its time limit is killed and reported, so that a hang fails the test instead of the run.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PrintTestSheet.h"
#include "support/TestDevices.h"

extern char** environ;

namespace quillmark::testing {

inline const char* CliPath() {
  return QUILLMARK_CLI;
}

struct CliResult {
  int status = -1;  // exit status; 128 + signal when killed; -1 when it had to be killed
  std::string out;
  std::string err;
};

struct CliOptions {
  int stdinFd = -1;   // default /dev/null
  int stderrFd = -1;  // default: captured into CliResult::err
  int timeoutSeconds = 60;
  std::vector<std::string> wrapper;  // a program that runs quillmark-cli (setpriv ...)
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadWholeFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Waits for `pid` up to `timeoutSeconds`; kills it when the time is over. The exit status,
// 128 + the signal that ended it, or -1 when it had to be killed.
inline int WaitForExit(pid_t pid, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Starts quillmark-cli with `args`, its standard streams on the given descriptors; through
// `wrapper` when one is given.
inline pid_t SpawnCli(const std::vector<std::string>& args, int in, int out, int err,
                      const std::vector<std::string>& wrapper = {}) {
  std::vector<std::string> copies = wrapper;
  copies.push_back(CliPath());
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : copies)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, in, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

inline CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
  TempDir dir;
  const std::string outPath = dir.File("stdout");
  const std::string errPath = dir.File("stderr");
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = options.stderrFd >= 0
                      ? options.stderrFd
                      : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const pid_t pid =
      SpawnCli(args, options.stdinFd >= 0 ? options.stdinFd : devNull, out, err, options.wrapper);
  ::close(devNull);
  ::close(out);
  if (options.stderrFd < 0) ::close(err);
  CliResult result;
  if (pid > 0) result.status = WaitForExit(pid, options.timeoutSeconds);
  result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  return result;
}

// A quillmark-cli that keeps running (the virtual printer): its standard output is read
// line by line while it runs.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    errPath_ = dir_.File("stderr");
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(pipeFds[1], F_SETFD, FD_CLOEXEC);
    pid_ = SpawnCli(args, devNull, pipeFds[1], err);
    ::close(devNull);
    ::close(err);
    ::close(pipeFds[1]);
    out_ = pipeFds[0];
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;
  ~CliProcess() {
    if (pid_ > 0 && status_ == kRunning) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  bool started() const { return pid_ > 0; }

  // Reads standard output until a line containing `text` has come; that line, or empty
  // when the output ended or `timeoutSeconds` passed first.
  std::string WaitForLine(const std::string& text, int timeoutSeconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
      for (std::size_t start = scanned_; start < output_.size();) {
        const std::size_t end = output_.find('\n', start);
        if (end == std::string::npos) break;
        const std::string line = output_.substr(start, end - start);
        start = scanned_ = end + 1;
        if (line.find(text) != std::string::npos) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return {};
    }
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // Waits for the end; the exit status as RunCli gives it. The rest of standard output is
  // read meanwhile.
  int Wait(int timeoutSeconds = 30) {
    if (status_ != kRunning) return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (ReadSome(50) && std::chrono::steady_clock::now() < deadline) {
    }
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
        deadline - std::chrono::steady_clock::now());
    status_ = WaitForExit(pid_, static_cast<int>(std::max<long long>(1, left.count())));
    while (ReadSome(0)) {
    }
    return status_;
  }

  const std::string& output() const { return output_; }
  std::string errors() const { return ReadWholeFile(errPath_); }

 private:
  static constexpr int kRunning = -1000;

  // Reads what is there within `timeoutMs`; false once the output has ended.
  bool ReadSome(int timeoutMs) {
    pollfd watch{out_, POLLIN, 0};
    if (::poll(&watch, 1, timeoutMs) <= 0) return timeoutMs == 0 ? false : true;
    char chunk[4096];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return false;
    output_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  TempDir dir_;
  std::string errPath_;
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = kRunning;
  std::string output_;
  std::size_t scanned_ = 0;
};

}  // namespace quillmark::testing
