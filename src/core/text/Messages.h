#pragma once

// The program's messages: what each command ends with or asks, in the words the window's
// message boxes show and the command line prints ("Waring Message" is spelled so on
// purpose).

#include <string_view>

namespace quillmark {

enum class UserMessage {
  kWriteFinish,          // File: the whole stream was saved
  kPatchFinish,          // Patch: header and stream were written into the memory image
  kReadError,            // a picture, a stream or a memory image could not be read or used
  kWriteError,           // a file could not be written
  kCommunicationError,   // a send failed: try again?
  kCommunicationFinish,  // DownLoad and Print end with it, whatever the outcome
};

// What a message is: news or a warning. The window shows it as the box's icon.
enum class MessageKind { kInformation, kWarning };
// What the user can answer: OK, or Retry and Cancel.
enum class MessageButtons { kOk, kRetryCancel };

struct MessageText {
  std::string_view text;
  std::string_view caption;
  MessageKind kind;
  MessageButtons buttons;
};

inline constexpr std::string_view kMessageCaption = "Message";
inline constexpr std::string_view kWarningCaption = "Waring Message";

constexpr MessageText TextOf(UserMessage message) noexcept {
  using enum MessageKind;
  using enum MessageButtons;
  switch (message) {
    case UserMessage::kWriteFinish:
      return {"Write Finish", kMessageCaption, kInformation, kOk};
    case UserMessage::kPatchFinish:
      return {"Patch Finish", kMessageCaption, kInformation, kOk};
    case UserMessage::kReadError:
      return {"Read Error", kWarningCaption, kWarning, kOk};
    case UserMessage::kWriteError:
      return {"Write Error", kWarningCaption, kWarning, kOk};
    case UserMessage::kCommunicationError:
      return {"Communication Error", kWarningCaption, kWarning, kRetryCancel};
    case UserMessage::kCommunicationFinish:
      return {"Communication Finish", kMessageCaption, kInformation, kOk};
  }
  return {};
}

}  // namespace quillmark
