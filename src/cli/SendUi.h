#pragma once

// The terminal as the user interface of download and print-test: a progress line on
// stderr while sending, "Communication Error" with what went wrong after a failed attempt,
// and the question whether to try again, or the retries the user allowed.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "commands/CommandUi.h"

namespace quillmark::cli {

// A progress line, redrawn in place ("\r") at most every `intervalMs` and once more when
// the count reaches the total. A send reports every 16-byte piece, over a million times for
// the largest stream, so an update that is not drawn costs one clock reading.
class ProgressMeter {
 public:
  using Clock = std::function<std::int64_t()>;  // milliseconds, never going back
  static constexpr std::int64_t kDefaultIntervalMs = 100;

  ProgressMeter(std::ostream& out, Clock clock, std::int64_t intervalMs = kDefaultIntervalMs);

  // A new send of `total` bytes: ends a line still open and draws 0.
  void Start(std::uint64_t total);
  void Update(std::uint64_t done);
  // Ends the line, if one is open, so that the next message starts on its own line.
  void End();

  // "sending 12345 of 23569964 bytes (0%), 1.2 MiB/s"; the rate once some time has passed.
  static std::string Format(std::uint64_t done, std::uint64_t total, std::int64_t elapsedMs);

 private:
  void Draw(std::uint64_t done);

  std::ostream& out_;
  Clock clock_;
  std::int64_t intervalMs_;
  std::uint64_t total_ = 0;
  std::int64_t started_ = 0;
  std::int64_t lastDrawn_ = 0;
  std::uint64_t lastDone_ = 0;
  std::size_t lastLength_ = 0;
  bool lineOpen_ = false;
  bool finished_ = false;  // the total has been drawn
};

// The milliseconds of the system's steady clock.
std::int64_t SteadyMilliseconds();

struct SendUiOptions {
  bool progress = false;             // draw the progress line
  bool ask = false;                  // ask "Retry? [y/N]" after a failed attempt
  unsigned maxAttempts = 1;          // without asking: attempts allowed (retries + 1)
  std::int64_t retryDelayMs = 2000;  // without asking: the wait before the next attempt
  // How the wait is spent; the steady clock's sleep when empty.
  std::function<void(std::int64_t milliseconds)> sleep;
};

// "2 s", "0.25 s": a wait in seconds as the user gave it.
std::string FormatSeconds(std::int64_t milliseconds);

// CommandUi for DownLoad and Print on the terminal: after a failed attempt
// "Communication Error" and, under it, the attempt's report in plain words.
class TerminalSendUi final : public CommandUi {
 public:
  TerminalSendUi(std::ostream& err, std::istream& in, SendUiOptions options,
                 ProgressMeter::Clock clock);

  // The command's end: the caller sums up, so it only ends the progress line.
  void Tell(UserMessage message) override;
  bool RetryAfterFailedSend(const SendReport& report) override;
  std::optional<FileDialogResult> ChooseFile(const FilePrompt&) override { return std::nullopt; }
  void SetProgressRange(std::uint32_t upper) override;
  void SetProgressPos(std::uint32_t pos) override;

  // The last range and position the send set: the stream's size and the bytes sent.
  std::uint32_t progressRange() const noexcept { return range_; }
  std::uint32_t progressPos() const noexcept { return pos_; }
  // How many "Communication Error" boxes were shown.
  unsigned failuresShown() const noexcept { return failures_; }

 private:
  std::ostream& err_;
  std::istream& in_;
  SendUiOptions options_;
  ProgressMeter meter_;
  std::uint32_t range_ = 0;
  std::uint32_t pos_ = 0;
  unsigned failures_ = 0;
};

}  // namespace quillmark::cli
