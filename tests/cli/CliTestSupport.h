#pragma once

// For the end-to-end tests: the real quillmark-cli run as a process, and a folder with
// pictures for the slots and the streams the core makes of them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands/FileCommands.h"
#include "raster/NvImage.h"
#include "raster/PictureFile.h"
#include "state/AppState.h"
#include "streams/Streams.h"
#include "support/BmpTestFiles.h"
#include "support/Bytes.h"
#include "support/PngReader.h"
#include "support/PrintTestSheet.h"
#include "support/TestDevices.h"

extern char** environ;

namespace quillmark::testing {

inline Bytes ReadBytes(const std::string& path) {
  return ReadFileBytes(path).value_or(Bytes());
}

using Args = std::vector<std::string>;
inline Args operator+(Args args, const Args& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

struct CliOptions {
  int stdinFd = -1;                  // default /dev/null
  int stdoutFd = -1;                 // default: kept for output()
  int stderrFd = -1;                 // default: kept for errors()
  std::vector<std::string> wrapper;  // a program that runs quillmark-cli (setpriv ...)
};

// quillmark-cli running, its standard output and error kept in files. Killed if it still
// runs when the object goes.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args, const CliOptions& options = {}) {
    Args words = options.wrapper + Args{QUILLMARK_CLI} + args;
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT, 0600);
    ::posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT, 0600);
    if (options.stdinFd >= 0) ::posix_spawn_file_actions_adddup2(&actions, options.stdinFd, 0);
    if (options.stdoutFd >= 0) ::posix_spawn_file_actions_adddup2(&actions, options.stdoutFd, 1);
    if (options.stderrFd >= 0) ::posix_spawn_file_actions_adddup2(&actions, options.stderrFd, 2);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
  }
  ~CliProcess() {
    if (pid_ > 0 && status_ == kRunning) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int signal) { ::kill(pid_, signal); }
  std::string output() const { return ReadFileText(out_); }
  std::string errors() const { return ReadFileText(err_); }

  // The first whole line of standard output that contains `text`; empty when none has
  // come within 20 seconds.
  std::string WaitForLine(const std::string& text) {
    for (int tries = 0; tries < 2000; ++tries) {
      const std::string out = output();
      const std::size_t at = out.find(text);
      const std::size_t end = out.find('\n', at);
      if (end != std::string::npos) {
        const std::size_t start = out.rfind('\n', at);
        return out.substr(start == std::string::npos ? 0 : start + 1, end - start - 1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
  }

  // The exit status, 128 + the signal that ended it, or -1 when it still runs after 60 s.
  int Wait() {
    for (int tries = 0; pid_ > 0 && status_ == kRunning && tries < 12000; ++tries) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_ == kRunning ? -1 : status_;
  }

 private:
  static constexpr int kRunning = -1000;
  TempDir dir_;
  const std::string out_ = dir_.File("stdout");
  const std::string err_ = dir_.File("stderr");
  pid_t pid_ = -1;
  int status_ = kRunning;
};

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options = {}) {
  CliProcess process(args, options);
  const int status = process.Wait();
  return {status, process.output(), process.errors()};
}

inline std::optional<test::DecodedPng> ReadPng(const std::string& path) {
  std::string error;
  std::optional<test::DecodedPng> png = test::DecodeSheetPng(ReadBytes(path), error);
  EXPECT_TRUE(png) << path << ": " << error;
  return png;
}

// A temporary folder with the three pictures, in slots 1, 4 and 10. The checker's name
// holds a '=': only the first '=' of --slot N=PICTURE separates.
class CliTest : public ::testing::Test {
 public:
  static std::vector<std::optional<TestPicture>> SlotPictures() {
    return {Stripes(), {}, {}, WideTriangle(), {}, {}, {}, {}, {}, Checker()};
  }

 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    // The tool reads the port map of the folder the test gives it, never the user's.
    ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    WritePicture(stripes, Stripes());
    WritePicture(wide, WideTriangle());
    WritePicture(checker, Checker());
  }

  Args SlotArgs() const {
    return {"--slot", "1=" + stripes, "--slot", "4=" + wide, "--slot", "10=" + checker};
  }

  // The definition stream the core builds of SlotArgs(), or of empty slots.
  Bytes DefinitionStream(std::int32_t widthBytes, std::int32_t brixMode,
                         bool pictures = true) const {
    AppState state;
    state.widthBytes = widthBytes;
    state.portSettings.brixMode = brixMode;
    if (pictures) {
      state.imageSlots[0] = ConvertPictureFile(stripes, widthBytes).record;
      state.imageSlots[3] = ConvertPictureFile(wide, widthBytes).record;
      state.imageSlots[9] = ConvertPictureFile(checker, widthBytes).record;
    }
    return BytesOf(BuildNvDefinitionStream(state));
  }

  TempDir dir;
  const std::string stripes = dir.File("stripes.bmp");
  const std::string wide = dir.File("wide.bmp");
  const std::string checker = dir.File("check=er.bmp");
};

}  // namespace quillmark::testing
