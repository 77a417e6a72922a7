#pragma once

// A PortApi whose device answers from a script and whose clock is fake: Sleep moves the
// tick counter on instead of waiting. Used for what a real device here cannot produce: a
// printer busy for seconds, the DSR line, Windows error words and status bytes, a tick
// counter that wraps. Every operation is logged with its arguments, in order.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortApi.h"
#include "port/PortTransport.h"

namespace quillmark::testing {

struct PortScript {
  // The log: "Open LPT1", "SetCommTimeouts 0 0 200 10 2000", "SetupComm 256 256",
  // "GetCommState", "SetCommState", "PurgeComm 15", "WriteFile 16", "GetCommModemStatus",
  // "ClearCommError", "QueryParallelStatus", "Sleep 100", "Close".
  std::vector<std::string> calls;

  std::uint32_t tick = 0;                      // the fake GetTickCount
  std::uint32_t sleepAdvance = 100;            // how far one Sleep(100) moves the clock
  std::uint32_t writeCostMs = 0;               // how far one WriteFile moves the clock
  std::set<std::string, std::less<>> missing;  // names whose open fails
  int openError = 2;                           // the error code a failed open reports

  bool getStateSucceeds = true;
  CommState portState;                // what GetCommState reports
  std::optional<CommState> stateSet;  // what SetCommState was given
  std::optional<CommTimeouts> timeoutsSet;

  // Readiness answers; unset means a printer that is ready.
  std::function<std::optional<std::uint32_t>()> modemStatus;    // nullopt: the call fails
  std::function<std::optional<std::uint32_t>()> errorWord;      // nullopt: fails, writes nothing
  std::function<std::optional<std::uint8_t>()> parallelStatus;  // nullopt: fails, no output
  // How many of the offered bytes the device takes; unset means all.
  std::function<std::uint32_t(std::span<const std::uint8_t>)> accept;

  // A send that would never end turns into a test failure: after this many sleeps and
  // writes the printer turns ready and takes everything, so the send returns.
  std::size_t budget = 100000;
  std::size_t spent = 0;
  bool runaway = false;
  void Spend() {
    if (++spent > budget && !runaway) {
      runaway = true;
      ADD_FAILURE() << "the send did not end by itself";
    }
  }

  std::vector<std::uint8_t> received;  // every byte the device took, in order
  std::vector<std::uint32_t> writesAsked;

  std::size_t Count(std::string_view call) const {
    std::size_t n = 0;
    for (const std::string& entry : calls)
      if (entry == call) ++n;
    return n;
  }
};

class ScriptedDevice final : public PortDevice {
 public:
  explicit ScriptedDevice(PortScript& script) : script_(script) {}
  ~ScriptedDevice() override { script_.calls.push_back("Close"); }

  bool SetCommTimeouts(const CommTimeouts& t) noexcept override {
    script_.calls.push_back("SetCommTimeouts " + std::to_string(t.ReadIntervalTimeout) + " " +
                            std::to_string(t.ReadTotalTimeoutMultiplier) + " " +
                            std::to_string(t.ReadTotalTimeoutConstant) + " " +
                            std::to_string(t.WriteTotalTimeoutMultiplier) + " " +
                            std::to_string(t.WriteTotalTimeoutConstant));
    script_.timeoutsSet = t;
    return true;
  }
  bool SetupComm(std::uint32_t in, std::uint32_t out) noexcept override {
    script_.calls.push_back("SetupComm " + std::to_string(in) + " " + std::to_string(out));
    return true;
  }
  bool GetCommState(CommState& state) noexcept override {
    script_.calls.push_back("GetCommState");
    if (!script_.getStateSucceeds) return false;
    state = script_.portState;
    return true;
  }
  bool SetCommState(const CommState& state) noexcept override {
    script_.calls.push_back("SetCommState");
    script_.stateSet = state;
    return true;
  }
  bool PurgeComm(std::uint32_t flags) noexcept override {
    script_.calls.push_back("PurgeComm " + std::to_string(flags));
    return true;
  }
  std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
    script_.calls.push_back("WriteFile " + std::to_string(bytes.size()));
    script_.writesAsked.push_back(static_cast<std::uint32_t>(bytes.size()));
    script_.tick += script_.writeCostMs;
    script_.Spend();
    std::uint32_t taken = static_cast<std::uint32_t>(bytes.size());
    if (script_.accept && !script_.runaway) taken = script_.accept(bytes);
    script_.received.insert(script_.received.end(), bytes.begin(), bytes.begin() + taken);
    return taken;
  }
  bool GetCommModemStatus(std::uint32_t& status) noexcept override {
    script_.calls.push_back("GetCommModemStatus");
    const std::optional<std::uint32_t> answer = script_.modemStatus && !script_.runaway
                                                    ? script_.modemStatus()
                                                    : std::optional<std::uint32_t>(kMsDsrOn);
    if (!answer) return false;
    status = *answer;
    return true;
  }
  bool ClearCommError(std::uint32_t& errors) noexcept override {
    script_.calls.push_back("ClearCommError");
    const std::optional<std::uint32_t> answer = script_.errorWord && !script_.runaway
                                                    ? script_.errorWord()
                                                    : std::optional<std::uint32_t>(0);
    if (!answer) return false;
    errors = *answer;
    return true;
  }
  bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
    script_.calls.push_back("QueryParallelStatus");
    const std::optional<std::uint8_t> answer = script_.parallelStatus && !script_.runaway
                                                   ? script_.parallelStatus()
                                                   : std::optional<std::uint8_t>(kParallelSelected);
    if (!answer) return false;
    out[0] = *answer;
    return true;
  }

 private:
  PortScript& script_;
};

class ScriptedPortApi final : public PortApi {
 public:
  explicit ScriptedPortApi(PortScript& script) : script_(script) {}

  PortOpenResult Open(std::string_view deviceName) noexcept override {
    script_.calls.push_back("Open " + std::string(deviceName));
    if (script_.missing.count(deviceName) != 0) return {nullptr, script_.openError};
    return {std::make_unique<ScriptedDevice>(script_), 0};
  }
  std::uint32_t GetTickCount() noexcept override { return script_.tick; }
  void Sleep(std::uint32_t milliseconds) noexcept override {
    script_.calls.push_back("Sleep " + std::to_string(milliseconds));
    script_.Spend();
    script_.tick += script_.sleepAdvance;
  }

 private:
  PortScript& script_;
};

// Records what the send shows on the progress bar.
struct RecordedProgress final : SendProgress {
  void SetProgressRange(std::uint32_t upper) override { ranges.push_back(upper); }
  void SetProgressPos(std::uint32_t pos) override { positions.push_back(pos); }
  std::vector<std::uint32_t> ranges;
  std::vector<std::uint32_t> positions;
};

}  // namespace quillmark::testing
