#pragma once

// Helpers for the command tests: a scripted user and whole-file reads and writes.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "commands/CommandUi.h"
#include "commands/FileCommands.h"
#include "streams/Streams.h"
#include "support/TempDir.h"

namespace quillmark::testing {

using Bytes = std::vector<std::uint8_t>;
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

inline std::optional<Bytes> ReadWholeFile(const std::string& path) {
  std::ifstream in(fs::path(std::u8string(path.begin(), path.end())), std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(fs::path(std::u8string(path.begin(), path.end())),
                    std::ios::binary | std::ios::trunc);
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

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes StreamOf(const AppState& state) {
  const auto stream = BuildNvDefinitionStream(state);
  return Bytes(stream->bytes().begin(), stream->bytes().end());
}

inline const Bytes kExpectedHeader(ExpectedImageHeader.begin(), ExpectedImageHeader.end());
inline const Bytes kPatchedHeader(PatchedImageHeader.begin(), PatchedImageHeader.end());

using FileCommand = FileCommandOutcome (*)(const AppState&, CommandUi&);

}  // namespace quillmark::testing
