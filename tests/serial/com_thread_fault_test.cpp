// The event thread where the device misbehaves as some real drivers do. These
// run WITHOUT the modem-line library: under Wine a pseudo-terminal then refuses
// waits for modem-line events, fails modem-status queries and cancels
// received-character waits every few milliseconds.
#include <gtest/gtest.h>

#include "serial/com_port.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v {
namespace {

using test::WaitUntil;

constexpr int kPort = 13;
constexpr DWORD kModemLineEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

class ComThreadFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "run through tools/run-with-sim.sh";
    sim.CreatePort(kPort);
    port.SetPort("COM" + std::to_string(kPort));
    port.SetSyncMethod(smNone);
    port.OnRxChar = [this](TCustomComPort& sender, int32_t count) {
      std::string bytes;
      sender.ReadText(bytes, count);
      received.Append(bytes, count);
    };
  }
  // CPU time of the process over one idle second. The bound used with it is
  // loose on purpose (shared machines): a spinning thread uses about the whole
  // second, a waiting one next to nothing.
  static double IdleSecondCpuMs() {
    const double before = test::ProcessCpuMs();
    Sleep(1000);
    return test::ProcessCpuMs() - before;
  }
  test::SimClient sim;
  TComPort port;
  test::ReceivedBytes received;
};

TEST_F(ComThreadFaults, RefusedModemEventsFallBackAndBytesStillArrive) {
  // Opening succeeds although the device cannot report its modem lines.
  port.Open();
  EXPECT_TRUE(port.Connected());
  sim.Send(kPort, "first\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 7; }));
  EXPECT_EQ("first\r\n", received.Text());
  EXPECT_EQ(7, received.CountSum());
  // The thread waits for what the device supports: no modem-line events.
  EXPECT_EQ(0u, port.EventMask() & kModemLineEvents);
  EXPECT_NE(0u, port.EventMask() & EV_RXCHAR);
  try {
    port.ModemSignals();
    FAIL() << "modem status on a terminal without modem lines";
  } catch (const EComPort& e) {
    EXPECT_EQ(CError_ModemStatFailed, e.PortErrorCode());
    EXPECT_EQ(ERROR_NOT_SUPPORTED, static_cast<DWORD>(e.SystemErrorCode()));
  }
  EXPECT_LT(IdleSecondCpuMs(), 400.0);
  sim.Send(kPort, "second");
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 13; }));
  EXPECT_EQ("first\r\nsecond", received.Text());
  port.Close();
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
}

TEST_F(ComThreadFaults, CancelledWaitsAreRearmedWithoutSpinning) {
  port.SetEvents({evRxChar});
  port.Open();
  EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR), port.EventMask());
  std::string expected;
  for (int batch = 0; batch < 3; ++batch) {
    // Between batches the driver cancels the pending wait many times over.
    EXPECT_LT(IdleSecondCpuMs(), 400.0);
    const std::string text = "batch" + std::to_string(batch);
    expected += text;
    sim.Send(kPort, text);
    ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= expected.size(); }));
  }
  EXPECT_EQ(expected, received.Text());
  EXPECT_EQ(static_cast<int32_t>(expected.size()), received.CountSum());
  EXPECT_FALSE(port.ThreadEnded());
}

TEST_F(ComThreadFaults, VanishedPeerNeitherSpinsNorBlocksClose) {
  port.Open();
  sim.Send(kPort, "bye");
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 3; }));
  sim.Command("vanish " + std::to_string(kPort));
  EXPECT_LT(IdleSecondCpuMs(), 400.0);
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
  EXPECT_FALSE(port.ThreadCreated());
}

}  // namespace
}  // namespace ra03v
