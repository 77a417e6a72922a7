#pragma once

// DownLoad and Print: build a stream, send it to the printer with Retry and Cancel on
// failure, and close with "Communication Finish".

#include <cstdint>

#include "commands/CommandUi.h"
#include "port/PortApi.h"
#include "port/PortTransport.h"
#include "state/AppState.h"
#include "state/ByteBlock.h"

namespace quillmark {

enum class CommandOutcome {
  kSent,        // the whole stream went out
  kCancelled,   // the user answered Cancel to "Communication Error"
  kRetryLimit,  // maxAttempts attempts failed (only with a limit)
};

struct CommandResult {
  CommandOutcome outcome = CommandOutcome::kCancelled;
  unsigned attempts = 0;  // sends tried
  SendReport lastSend;    // the last send's report (kNotBuilt when no stream was built)
};

// Sends `block` until a send succeeds. After every failed send the user is asked, with
// the send's report, whether to try again (CommandUi::RetryAfterFailedSend: the window's
// "Communication Error" with Retry and Cancel): Cancel ends the loop, Retry sends the whole
// block again from its first byte over a freshly opened port. `maxAttempts` 0 means no limit;
// otherwise the loop ends without asking again once that many sends have failed. The progress bar
// of `ui` follows every send.
CommandResult SendWithRetry(AppState& state, PortApi& api, CommandUi& ui, const ByteBlock& block,
                            unsigned maxAttempts = 0);

// DownLoad: the NV image definition stream of the slots and brixMode of this moment, sent
// with SendWithRetry, released, then "Communication Finish" (caption "Message") whatever
// the outcome (CommandUi::Tell). Should the memory for the stream be short, the user is asked as
// after a failed send (a kNotBuilt report): Retry builds anew; nothing is sent until a stream is
// built.
CommandResult OnDownLoad(AppState& state, PortApi& api, CommandUi& ui, unsigned maxAttempts = 0);

// Print: the 152-byte (162 in brixMode) print-test stream, handled like OnDownLoad's.
CommandResult OnPrint(AppState& state, PortApi& api, CommandUi& ui, unsigned maxAttempts = 0);

}  // namespace quillmark
