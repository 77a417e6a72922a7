#include "commands/PrinterCommands.h"

#include <optional>

#include "streams/Streams.h"

namespace quillmark {
namespace {

// The upper progress bar of the command's window.
class UiProgress final : public SendProgress {
 public:
  explicit UiProgress(CommandUi& ui) : ui_(ui) {}
  void SetProgressRange(std::uint32_t upper) override { ui_.SetProgressRange(upper); }
  void SetProgressPos(std::uint32_t pos) override { ui_.SetProgressPos(pos); }

 private:
  CommandUi& ui_;
};

bool LimitReached(unsigned failures, unsigned maxAttempts) {
  return maxAttempts != 0 && failures >= maxAttempts;
}

// Builds a stream with `build`; when the memory is short, asks as after a failed send.
// Empty when the user gave up or the limit was reached (`result` then says which).
template <typename Build>
std::optional<ByteBlock> BuildWithRetry(CommandUi& ui, unsigned maxAttempts, CommandResult& result,
                                        Build build) {
  std::optional<ByteBlock> stream = build();
  for (unsigned failures = 1; !stream; ++failures) {
    result.lastSend.result = SendResult::kNotBuilt;
    if (LimitReached(failures, maxAttempts)) {
      result.outcome = CommandOutcome::kRetryLimit;
      return std::nullopt;
    }
    if (!ui.RetryAfterFailedSend(result.lastSend)) {
      result.outcome = CommandOutcome::kCancelled;
      return std::nullopt;
    }
    stream = build();
  }
  return stream;
}

template <typename Build>
CommandResult RunPrinterCommand(AppState& state, PortApi& api, CommandUi& ui, unsigned maxAttempts,
                                Build build) {
  CommandResult result;
  {
    std::optional<ByteBlock> stream = BuildWithRetry(ui, maxAttempts, result, build);
    if (stream) result = SendWithRetry(state, api, ui, *stream, maxAttempts);
  }  // the stream is released before the closing box
  ui.Tell(UserMessage::kCommunicationFinish);
  return result;
}

}  // namespace

CommandResult SendWithRetry(AppState& state, PortApi& api, CommandUi& ui, const ByteBlock& block,
                            unsigned maxAttempts) {
  UiProgress progress(ui);
  CommandResult result;
  for (;;) {
    result.lastSend = SendBlock(state, api, block, &progress);
    ++result.attempts;
    if (result.lastSend.result == SendResult::kSent) {
      result.outcome = CommandOutcome::kSent;
      return result;
    }
    if (LimitReached(result.attempts, maxAttempts)) {
      result.outcome = CommandOutcome::kRetryLimit;
      return result;
    }
    if (!ui.RetryAfterFailedSend(result.lastSend)) {
      result.outcome = CommandOutcome::kCancelled;
      return result;
    }
  }
}

CommandResult OnDownLoad(AppState& state, PortApi& api, CommandUi& ui, unsigned maxAttempts) {
  return RunPrinterCommand(state, api, ui, maxAttempts,
                           [&state] { return BuildNvDefinitionStream(state); });
}

CommandResult OnPrint(AppState& state, PortApi& api, CommandUi& ui, unsigned maxAttempts) {
  return RunPrinterCommand(state, api, ui, maxAttempts, [&state] {
    return BuildNvPrintTestStream(state.portSettings.brixMode);
  });
}

}  // namespace quillmark
