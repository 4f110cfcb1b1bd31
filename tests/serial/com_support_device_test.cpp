// TComSupport against the simulated reader (modem-line library preloaded).
#include <gtest/gtest.h>

#include "foundation/protect_exception.h"
#include "serial/com_support.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v {
namespace {

using test::SettingOf;
using test::WaitUntil;

constexpr int kPort = 14;

class ComSupportDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "run through tools/run-with-sim.sh";
    sim.CreatePort(kPort);
    support.SetPortNumber(kPort);
  }
  test::SimClient sim;
  TComSupport support;
};

TEST_F(ComSupportDevice, SettingsReachTheDeviceAndRefusalsLeaveItAlone) {
  support.SetBaud(14400);  // not in the table: a custom rate of the same value
  support.SetDataBits(7);
  support.SetParityBits(2);
  support.SetStopBits(2);
  support.SetPortOpen(true);
  ASSERT_TRUE(support.IsConnected());
  std::string s = sim.Settings(kPort);
  EXPECT_EQ("14400", SettingOf(s, "baud"));
  EXPECT_EQ("7", SettingOf(s, "data"));
  EXPECT_EQ("even", SettingOf(s, "parity"));
  EXPECT_EQ("2", SettingOf(s, "stop"));
  support.SetBaud(28800);
  EXPECT_EQ("28800", SettingOf(sim.Settings(kPort), "baud"));
  support.SetBaud(115200);
  EXPECT_EQ("115200", SettingOf(sim.Settings(kPort), "baud"));
  EXPECT_THROW(support.SetDataBits(9), EProtectException);
  EXPECT_THROW(support.SetParityBits(9), EProtectException);
  s = sim.Settings(kPort);
  EXPECT_EQ("7", SettingOf(s, "data"));
  EXPECT_EQ("even", SettingOf(s, "parity"));
  support.SetXonXoffMode(1);
  s = sim.Settings(kPort);
  EXPECT_EQ("1", SettingOf(s, "ixoff"));
  EXPECT_EQ("0", SettingOf(s, "ixon"));
  support.SetXonXoffMode(2);
  s = sim.Settings(kPort);
  EXPECT_EQ("0", SettingOf(s, "ixoff"));
  EXPECT_EQ("1", SettingOf(s, "ixon"));
}

TEST_F(ComSupportDevice, SetPortOpenClosesAnOpenPortWhateverTheArgument) {
  support.SetPortOpen(true);
  EXPECT_TRUE(support.IsConnected());
  support.SetPortOpen(true);  // open: closes
  EXPECT_FALSE(support.IsConnected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, support.Port().Handle());
  support.SetPortOpen(false);  // closed: nothing
  EXPECT_FALSE(support.IsConnected());
  support.SetPortOpen(true);
  EXPECT_TRUE(support.IsConnected());
  support.SetPortOpen(false);
  EXPECT_FALSE(support.IsConnected());
}

TEST_F(ComSupportDevice, ReceivedBytesReachTheHandlerOnTheEventThread) {
  test::ReceivedBytes received;
  support.SetReceiveHandler([&](TCustomComPort& sender, uint16_t count) {
    std::string bytes;
    sender.ReadText(bytes, count);
    received.Append(bytes, count);
  });
  support.SetPortOpen(true);
  EXPECT_EQ(1, support.SendText("n"));
  EXPECT_EQ(0, support.SendText(""));
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 4; }));
  EXPECT_EQ("OK\r\n", received.Text());
  EXPECT_EQ(4, received.CountSum());
  EXPECT_NE(GetCurrentThreadId(), received.HandlerThread());
  EXPECT_EQ("n", sim.Received(kPort));
  // Without a handler the bytes stay queued for a later read.
  support.SetReceiveHandler(nullptr);
  support.SendText("f");
  ASSERT_TRUE(WaitUntil([&] { return support.Port().QueuedInputCount() == 4; }));
  std::string text;
  EXPECT_EQ(4, support.Port().ReadText(text, 100));
  EXPECT_EQ("OK\r\n", text);
}

}  // namespace
}  // namespace ra03v
