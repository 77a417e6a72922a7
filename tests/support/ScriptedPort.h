#pragma once

// A PortApi whose devices answer from a script and whose clock is fake: Sleep moves the
// tick counter on instead of waiting. Every operation is logged with its arguments.

#include <gtest/gtest.h>

#include <cerrno>

#include <algorithm>
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

class ScriptedPort final : public PortApi {
 public:
  // "Open LPT1", "SetCommTimeouts 0 0 200 10 2000", "SetupComm 256 256", "GetCommState",
  // "SetCommState", "PurgeComm 15", "WriteFile 16", "GetCommModemStatus", "ClearCommError",
  // "QueryParallelStatus", "Sleep 100", "Close".
  std::vector<std::string> calls;
  std::uint32_t tick = 0;                      // the fake GetTickCount
  std::uint32_t sleepAdvance = 100;            // how far one Sleep moves the clock
  std::uint32_t writeCostMs = 0;               // how far one WriteFile moves the clock
  std::set<std::string, std::less<>> missing;  // names whose open fails with openError
  int openError = 2;
  std::optional<CommState> portState = CommState{};  // GetCommState's answer; nullopt: fails
  std::optional<CommState> stateSet;                 // what SetCommState was given
  // The answer of whichever readiness query is made (modem status, error word or status
  // byte); nullopt: the call fails and writes nothing. Unset: a printer that is ready.
  std::function<std::optional<std::uint32_t>()> status;
  // How many of the offered bytes the device takes; unset: all.
  std::function<std::uint32_t(std::span<const std::uint8_t>)> accept;
  std::vector<std::uint8_t> received;         // every byte the device took, in order
  DeviceKind kind = DeviceKind::kAsSettings;  // what the device says it is
  std::optional<std::size_t> breaksAfter;     // the link breaks once this many bytes went
  LinkError closeResult;                      // what a close after the last piece finds
  // A send that would never end fails the test: after this many sleeps and writes the
  // printer turns ready and takes everything.
  std::size_t budget = 100000;

  std::size_t Count(std::string_view call) const {
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
  }

  PortOpenResult Open(std::string_view deviceName) noexcept override {
    Log("Open " + std::string(deviceName));
    if (missing.count(deviceName) != 0) return {nullptr, openError, {}};
    return {std::make_unique<Device>(*this), 0, {}};
  }
  std::uint32_t GetTickCount() noexcept override { return tick; }
  void Sleep(std::uint32_t milliseconds) noexcept override {
    Log("Sleep", {milliseconds});
    Spend();
    tick += sleepAdvance;
  }

 private:
  class Device final : public PortDevice {
   public:
    explicit Device(ScriptedPort& port) : p_(port) {}
    ~Device() override {
      if (!closed_) p_.Log("Close");
    }

    LinkError BrokenLink() const noexcept override {
      const bool broken = p_.breaksAfter && p_.received.size() >= *p_.breaksAfter;
      return broken ? LinkError{ECONNRESET, -1} : LinkError{};
    }
    LinkError Close() noexcept override {
      closed_ = p_.Log("Close");
      return p_.closeResult;
    }

    bool SetCommTimeouts(const CommTimeouts& t) noexcept override {
      return p_.Log("SetCommTimeouts", {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                        t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                        t.WriteTotalTimeoutConstant});
    }
    bool SetupComm(std::uint32_t in, std::uint32_t out) noexcept override {
      return p_.Log("SetupComm", {in, out});
    }
    bool GetCommState(CommState& state) noexcept override {
      p_.Log("GetCommState");
      if (p_.portState) state = *p_.portState;
      return p_.portState.has_value();
    }
    bool SetCommState(const CommState& state) noexcept override {
      p_.Log("SetCommState");
      p_.stateSet = state;
      return true;
    }
    bool PurgeComm(std::uint32_t flags) noexcept override { return p_.Log("PurgeComm", {flags}); }
    std::uint32_t WriteFile(std::span<const std::uint8_t> bytes) noexcept override {
      const auto size = static_cast<std::uint32_t>(bytes.size());
      p_.Log("WriteFile", {size});
      p_.tick += p_.writeCostMs;
      const std::uint32_t taken = p_.accept && p_.Spend() ? p_.accept(bytes) : size;
      p_.received.insert(p_.received.end(), bytes.begin(), bytes.begin() + taken);
      return taken;
    }
    bool GetCommModemStatus(std::uint32_t& lines) noexcept override {
      return Answer("GetCommModemStatus", kMsDsrOn, lines);
    }
    bool ClearCommError(std::uint32_t& errors) noexcept override {
      return Answer("ClearCommError", 0, errors);
    }
    bool QueryParallelStatus(std::span<std::uint8_t, 16> out) noexcept override {
      std::uint32_t byte = out[0];
      const bool answered = Answer("QueryParallelStatus", kParallelSelected, byte);
      out[0] = static_cast<std::uint8_t>(byte);
      return answered;
    }

   private:
    bool closed_ = false;

    bool Answer(const char* call, std::uint32_t ready, std::uint32_t& out) {
      p_.Log(call);
      const std::optional<std::uint32_t> answer = p_.status && p_.budget > 0 ? p_.status() : ready;
      if (answer) out = *answer;
      return answer.has_value();
    }

    ScriptedPort& p_;
  };

  bool Log(std::string call, std::initializer_list<std::uint32_t> args = {}) {
    for (std::uint32_t arg : args)
      call.append(1, ' ').append(std::to_string(arg));
    calls.push_back(call);
    return true;
  }
  // False once the budget is spent.
  bool Spend() {
    if (budget == 0) return false;
    if (--budget == 0) ADD_FAILURE() << "the send did not end by itself";
    return budget > 0;
  }
};

// Records what the send shows on the progress bar.
struct RecordedProgress final : SendProgress {
  void SetProgressRange(std::uint32_t upper) override { ranges.push_back(upper); }
  void SetProgressPos(std::uint32_t pos) override { positions.push_back(pos); }
  std::vector<std::uint32_t> ranges;
  std::vector<std::uint32_t> positions;
};

}  // namespace quillmark::testing
