// The network printer port over loopback TCP: connecting, writing, readiness from the
// socket's room to write, and a whole paced send.
#include "port/posix/TcpPortApi.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <numeric>

#include "port/PortTransport.h"
#include "support/LoopbackTcp.h"

namespace quillmark {
namespace {

using testing::ClosedLoopbackPort;
using testing::LoopbackListener;
using testing::LoopbackReceiver;

TcpAddress Loopback(std::uint16_t port) {
  return {"127.0.0.1", port};
}

TEST(TcpPort, APaceSendDeliversEveryByteAndTheConnectionCloses) {
  LoopbackReceiver printer;
  ASSERT_TRUE(printer.ok());
  TcpPortApi api(Loopback(printer.port()));
  AppState state;  // LPT1 and the NT family: the parallel set-up and status byte
  std::optional<ByteBlock> block = ByteBlock::Allocate(100000);
  std::iota(block->bytes().begin(), block->bytes().end(), std::uint8_t{7});
  const SendReport report = SendBlock(state, api, *block, nullptr);
  EXPECT_EQ(report.result, SendResult::kSent);
  EXPECT_EQ(report.bytesWritten, block->size());
  EXPECT_FALSE(state.portHandle);
  const std::vector<std::uint8_t>& got = printer.Finish();
  EXPECT_TRUE(std::equal(got.begin(), got.end(), block->bytes().begin(), block->bytes().end()));
}

TEST(TcpPort, ARefusedConnectionIsAFailedOpen) {
  TcpPortApi api(Loopback(ClosedLoopbackPort()));
  const PortOpenResult opened = api.Open("LPT1");
  EXPECT_FALSE(opened.device);
  EXPECT_EQ(opened.error, ECONNREFUSED);
  EXPECT_TRUE(api.resolveError().empty());
}

TEST(TcpPort, AHostThatCannotBeFoundSaysWhy) {
  TcpPortApi api({"a..b", 9100});  // a name the resolver refuses without asking DNS
  const PortOpenResult opened = api.Open("LPT1");
  EXPECT_FALSE(opened.device);
  EXPECT_EQ(opened.error, ENXIO);
  EXPECT_FALSE(api.resolveError().empty());
}

TEST(TcpPort, ReadyWhileThereIsRoomBusyWhenThePrinterStopsTaking) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  TcpPortApi api(Loopback(listener.port()), kTcpConnectTimeoutMs, 0);
  PortOpenResult opened = api.Open("LPT1");
  ASSERT_TRUE(opened.device) << opened.error;
  const int printer = listener.Accept();  // takes the connection and reads nothing
  ASSERT_GE(printer, 0);
  PortDevice& port = *opened.device;

  auto status = [&port] {
    std::array<std::uint8_t, 16> out{};
    EXPECT_TRUE(port.QueryParallelStatus(out));
    std::uint32_t modem = 0;
    EXPECT_TRUE(port.GetCommModemStatus(modem));
    std::uint32_t errors = 0;
    EXPECT_TRUE(port.ClearCommError(errors));
    return std::tuple{out[0], modem & kMsDsrOn, errors};
  };
  EXPECT_EQ(status(), std::tuple(kParallelSelected, kMsDsrOn, 0u));

  // Fill the socket until the printer's side takes nothing more.
  port.SetCommTimeouts({0, 0, 0, 0, 0});
  const std::vector<std::uint8_t> chunk(65536, 0x55);
  std::uint64_t written = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::uint32_t n = port.WriteFile(chunk);
    written += n;
    if (n < chunk.size()) break;
  }
  EXPECT_GT(written, 0u);
  EXPECT_EQ(status(), std::tuple(static_cast<std::uint8_t>(kParallelSelected | kParallelBusy), 0u,
                                 kCeTxFull));

  // A printer that goes away: the connection is broken.
  ::shutdown(printer, SHUT_RDWR);
  ::close(printer);
  std::uint8_t out = 0;
  for (int i = 0; i < 100 && out != (kParallelSelected | kParallelOffLine); ++i) {
    std::array<std::uint8_t, 16> query{};
    port.QueryParallelStatus(query);
    out = query[0];
    if (out != (kParallelSelected | kParallelOffLine)) ::usleep(10000);
  }
  EXPECT_EQ(out, kParallelSelected | kParallelOffLine);
}

TEST(TcpPort, ASocketHasNoLineSettings) {
  LoopbackListener listener;
  TcpPortApi api(Loopback(listener.port()), kTcpConnectTimeoutMs, 0);
  PortOpenResult opened = api.Open("COM1");
  ASSERT_TRUE(opened.device);
  CommState state;
  EXPECT_FALSE(opened.device->GetCommState(state));
  EXPECT_FALSE(opened.device->SetCommState(state));
  EXPECT_TRUE(opened.device->PurgeComm(kPurgeAll));
}

}  // namespace
}  // namespace quillmark
