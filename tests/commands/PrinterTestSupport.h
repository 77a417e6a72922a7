#pragma once

// A scripted user for DownLoad and Print: message boxes answered from a queue, the progress
// bar recorded.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/ByteBlock.h"
#include "commands/CommandUi.h"

namespace quillmark::printer_testing {

using Bytes = std::vector<std::uint8_t>;

struct Box {
  std::string text;
  std::string caption;
  unsigned type;
  friend bool operator==(const Box&, const Box&) = default;
};

const Box kErrorBox{"Communication Error", "Waring Message", 0x35};
const Box kFinishBox{"Communication Finish", "Message", 0x40};

// Answers message boxes from a queue (IDOK once it runs dry) and records what was shown.
class ScriptedUi final : public CommandUi {
 public:
  explicit ScriptedUi(std::deque<int> answers = {}) : answers_(std::move(answers)) {}

  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    boxes.push_back({text, caption, type});
    if (answers_.empty()) return IDOK;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::optional<FileDialogResult> ChooseFile(const FileDialogRequest&) override {
    ADD_FAILURE() << "no file dialog expected";
    return std::nullopt;
  }
  void SetProgressRange(std::uint32_t upper) override { ranges.push_back(upper); }
  void SetProgressPos(std::uint32_t pos) override { lastPos = pos; }

  std::vector<Box> boxes;
  std::vector<std::uint32_t> ranges;
  std::optional<std::uint32_t> lastPos;

 private:
  std::deque<int> answers_;
};

inline Bytes ToBytes(const std::optional<ByteBlock>& block) {
  return block ? Bytes(block->bytes().begin(), block->bytes().end()) : Bytes{};
}

}  // namespace quillmark::printer_testing
