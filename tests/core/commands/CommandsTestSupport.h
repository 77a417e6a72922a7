#pragma once

// Helpers for the command tests: a scripted user and whole-file reads and writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands/CommandUi.h"
#include "commands/FileCommands.h"
#include "streams/Streams.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace quillmark::testing {

namespace fs = std::filesystem;

using Messages = std::vector<UserMessage>;

// Answers whether to retry a failed send from `retries` (Retry once it runs dry) and file
// dialogs from `files` (Cancel for nullopt or once it runs dry); records the messages told
// and asked, in order.
class ScriptedUi final : public CommandUi {
 public:
  std::deque<bool> retries;
  std::deque<std::optional<std::string>> files;
  Messages messages;
  std::vector<std::uint32_t> ranges;
  std::vector<SendReport> reports;  // what each failed send reported

  void Tell(UserMessage message) override { messages.push_back(message); }
  bool RetryAfterFailedSend(const SendReport& report) override {
    reports.push_back(report);
    messages.push_back(UserMessage::kCommunicationError);
    const bool retry = retries.empty() || retries.front();
    if (!retries.empty()) retries.pop_front();
    return retry;
  }
  std::optional<FileDialogResult> ChooseFile(const FilePrompt&) override {
    if (files.empty() || !files.front()) return std::nullopt;
    const std::string path = *files.front();
    files.pop_front();
    return FileDialogResult{path, fs::path(path).filename().string()};
  }
  void SetProgressRange(std::uint32_t upper) override { ranges.push_back(upper); }
  void SetProgressPos(std::uint32_t) override {}
};

inline Bytes StreamOf(const AppState& state) {
  return BytesOf(BuildNvDefinitionStream(state));
}

// Writes a file the test needs.
inline void WriteWholeFile(const std::string& path, const Bytes& bytes) {
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

inline const Bytes kExpectedHeader(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
inline const Bytes kPatchedHeader(PatchedImageHeader.begin(), PatchedImageHeader.end());

using FileCommand = FileCommandOutcome (*)(const AppState&, CommandUi&);

}  // namespace quillmark::testing
