#include "cli/SendUi.h"

#include <time.h>

#include <chrono>
#include <cstdio>
#include <istream>
#include <ostream>
#include <thread>

namespace quillmark::cli {
namespace {

std::string Rate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1024.0 * 1024.0) {
    std::snprintf(text, sizeof text, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
  } else if (bytesPerSecond >= 1024.0) {
    std::snprintf(text, sizeof text, "%.1f KiB/s", bytesPerSecond / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  }
  return text;
}

}  // namespace

std::int64_t SteadyMilliseconds() {
#ifdef CLOCK_MONOTONIC_COARSE
  // The progress line asks once for every 16-byte piece; the coarse clock (a few
  // milliseconds fine) answers without reading the hardware timer.
  timespec now{};
  if (::clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ProgressMeter::ProgressMeter(std::ostream& out, Clock clock, std::int64_t intervalMs)
    : out_(out), clock_(std::move(clock)), intervalMs_(intervalMs) {}

std::string ProgressMeter::Format(std::uint64_t done, std::uint64_t total, std::int64_t elapsedMs) {
  const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
  std::string text = "sending " + std::to_string(done) + " of " + std::to_string(total) +
                     " bytes (" + std::to_string(percent) + "%)";
  if (elapsedMs > 0 && done > 0)
    text += ", " + Rate(static_cast<double>(done) * 1000.0 / static_cast<double>(elapsedMs));
  return text;
}

void ProgressMeter::Start(std::uint64_t total) {
  End();
  total_ = total;
  started_ = clock_();
  finished_ = false;
  Draw(0);
}

void ProgressMeter::Update(std::uint64_t done) {
  if (finished_ || done == lastDone_) return;
  if (done >= total_ || clock_() - lastDrawn_ >= intervalMs_) Draw(done);
}

void ProgressMeter::End() {
  if (!lineOpen_) return;
  out_ << '\n';
  out_.flush();
  lineOpen_ = false;
}

void ProgressMeter::Draw(std::uint64_t done) {
  const std::int64_t now = clock_();
  std::string text = Format(done, total_, now - started_);
  const std::size_t length = text.size();
  if (length < lastLength_) text.append(lastLength_ - length, ' ');  // clear what was longer
  out_ << '\r' << text;
  out_.flush();
  lastLength_ = length;
  lastDrawn_ = now;
  lastDone_ = done;
  lineOpen_ = true;
  if (done >= total_) {
    finished_ = true;
    End();
  }
}

std::string FormatSeconds(std::int64_t milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  if (const std::int64_t fraction = milliseconds % 1000; fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text + " s";
}

TerminalSendUi::TerminalSendUi(std::ostream& err, std::istream& in, SendUiOptions options,
                               ProgressMeter::Clock clock)
    : err_(err), in_(in), options_(options), meter_(err, std::move(clock)) {}

void TerminalSendUi::Tell(UserMessage) {
  meter_.End();
}

bool TerminalSendUi::RetryAfterFailedSend(const SendReport& report) {
  meter_.End();
  ++failures_;
  err_ << TextOf(UserMessage::kCommunicationError).text << '\n'
       << DescribeSendReport(report) << '\n';
  if (options_.ask) {
    err_ << "Retry? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(in_, answer)) {
      err_ << '\n';
      return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  }
  // Without a question the command stops by itself after maxAttempts failures; this is
  // asked only when another attempt follows.
  err_ << "retrying";
  if (options_.retryDelayMs > 0) err_ << " in " << FormatSeconds(options_.retryDelayMs);
  err_ << " (attempt " << failures_ + 1 << " of " << options_.maxAttempts << ")\n";
  err_.flush();
  if (options_.retryDelayMs > 0) {
    if (options_.sleep)
      options_.sleep(options_.retryDelayMs);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(options_.retryDelayMs));
  }
  return true;
}

void TerminalSendUi::SetProgressRange(std::uint32_t upper) {
  range_ = upper;
  pos_ = 0;
  if (options_.progress) meter_.Start(upper);
}

void TerminalSendUi::SetProgressPos(std::uint32_t pos) {
  pos_ = pos;
  if (options_.progress) meter_.Update(pos);
}

}  // namespace quillmark::cli
