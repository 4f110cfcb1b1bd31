// The port manager against the simulated reader: runs of write and read
// commands, line assembly on the event thread, and the settings it applies.
#include "portmanager/port_manager.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "foundation/message_pump.h"
#include "foundation/protect_exception.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v::test {
namespace {

constexpr int kPort = 12;  // COM12: index 11 of the port table

struct Lines {
  std::mutex lock;
  std::vector<std::string> texts;
  std::vector<DWORD> threads;
  int failFirst = 0;  // this many calls throw

  static void Receive(void* owner, const char* text) {
    auto* self = static_cast<Lines*>(owner);
    std::lock_guard<std::mutex> guard(self->lock);
    self->texts.emplace_back(text);
    self->threads.push_back(GetCurrentThreadId());
    if (self->failFirst > 0) {
      --self->failFirst;
      throw std::runtime_error("handler failed");
    }
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock);
    return texts.size();
  }
  std::string At(size_t i) {
    std::lock_guard<std::mutex> guard(lock);
    return texts.at(i);
  }
};

class PortManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    sim.CreatePort(kPort);
    manager.Settings().portIndex = TableIndex(kPortNumbers, kPort);
    manager.Settings().keepOpen = 1;
    manager.SetDeviceTag("1");
  }
  void AddLineHandler() { manager.AddLineHandler("\r\n", &lines, &Lines::Receive); }

  SimClient sim;
  TPortManager manager;
  Lines lines;
  std::string reply;
};

TEST_F(PortManagerTest, AWriteEndsTheRunWithoutWaitingForTheTimer) {
  manager.SetReplyTimeout(60000);
  manager.AddCommand(true, 1, "k");
  const DWORD start = GetTickCount();
  manager.Execute(reply);
  // Waiting for the timer would take a minute.
  EXPECT_LT(GetTickCount() - start, 30000u);
  EXPECT_EQ("", reply);
  EXPECT_EQ(kPmOk, manager.LastError());
  EXPECT_TRUE(manager.RunDone());
  EXPECT_TRUE(WaitUntil([&] { return sim.Received(kPort).find('k') != std::string::npos; }));
  EXPECT_TRUE(manager.Support().IsConnected());  // KeepOpen
}

TEST_F(PortManagerTest, AReadCompletesByLengthOrEndsAtTheTimerWithWhatCame) {
  manager.SetReplyTimeout(3000);
  manager.AddCommand(true, 1, "n");  // answered with "OK" CR LF: four bytes
  manager.AddCommand(false, 4, "");
  manager.Execute(reply);
  EXPECT_EQ("OK\r\n", reply);
  EXPECT_EQ(kPmOk, manager.LastError());

  sim.Command("echo " + std::to_string(kPort) + " on");
  manager.SetReplyTimeout(300);
  manager.AddCommand(true, 2, "AB");  // echoed: only two of the four bytes come
  manager.AddCommand(false, 4, "");
  manager.Execute(reply);
  EXPECT_EQ("AB", reply);
  EXPECT_EQ(kPmOk, manager.LastError());
}

TEST_F(PortManagerTest, ALineEndsThePendingRunAndReachesTheHandler) {
  AddLineHandler();
  manager.SetReplyTimeout(60000);
  manager.AddCommand(true, 1, "n");
  manager.AddCommand(false, 999, "");  // never complete by length
  const DWORD start = GetTickCount();
  manager.Execute(reply);
  EXPECT_LT(GetTickCount() - start, 30000u);
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 1; }));
  EXPECT_EQ("1|OK\r\n", lines.At(0));
  EXPECT_NE(GetCurrentThreadId(), lines.threads.at(0));
  EXPECT_EQ(kPmOk, manager.LastError());
}

TEST_F(PortManagerTest, LinesArriveWithNoRunActive) {
  AddLineHandler();
  ASSERT_TRUE(manager.Connect());
  sim.Send(kPort, "12345678\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 1; }));
  EXPECT_EQ("1|12345678\r\n", lines.At(0));
  // The handler did not clear the buffer: everything but the last byte stays.
  EXPECT_EQ("12345678\r", manager.LineBuffer());
}

TEST_F(PortManagerTest, AZeroByteEndsTheHandlersText) {
  AddLineHandler();
  ASSERT_TRUE(manager.Connect());
  sim.Send(kPort, "AB\\x00CD\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 1; }));
  EXPECT_EQ("1|AB", lines.At(0));
  EXPECT_EQ(std::string("AB\0CD\r", 6), manager.LineBuffer());
}

// Terminators of any length, looked for in registration order; a buffer set
// from outside is looked through whole, so a terminator already in it counts.
TEST_F(PortManagerTest, TerminatorsOfAnyLengthInRegistrationOrder) {
  Lines cr;
  manager.AddLineHandler("XYZ", &lines, &Lines::Receive);
  manager.AddLineHandler("\r", &cr, &Lines::Receive);
  ASSERT_TRUE(manager.Connect());
  sim.Send(kPort, "abXY");
  sim.Send(kPort, "Z");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 1; }));
  EXPECT_EQ("1|abXYZ", lines.At(0));
  EXPECT_EQ("abXY", manager.LineBuffer());
  sim.Send(kPort, "\\r");
  ASSERT_TRUE(WaitUntil([&] { return cr.Count() >= 1; }));
  EXPECT_EQ("1|abXY\r", cr.At(0));

  manager.SetLineBuffer("q\rq");
  sim.Send(kPort, "w");
  ASSERT_TRUE(WaitUntil([&] { return cr.Count() >= 2; }));
  EXPECT_EQ("1|q\rqw", cr.At(1));
  // Both terminators end at the same byte: the first registered wins.
  manager.SetLineBuffer("");
  Lines lf;
  manager.ClearLineHandlers();
  manager.AddLineHandler("\n", &lf, &Lines::Receive);
  manager.AddLineHandler("\r\n", &cr, &Lines::Receive);
  sim.Send(kPort, "cd\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return lf.Count() >= 1; }));
  EXPECT_EQ("1|cd\r\n", lf.At(0));
  EXPECT_EQ(2u, cr.Count());
}

// The empty terminator ("none") ends a line at every byte.
TEST_F(PortManagerTest, TheEmptyTerminatorEndsALineAtEveryByte) {
  manager.AddLineHandler("", &lines, &Lines::Receive);
  ASSERT_TRUE(manager.Connect());
  sim.Send(kPort, "ab");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 2; }));
  EXPECT_EQ("1|a", lines.At(0));
  // The handler left the buffer alone: its last byte is deleted after it.
  EXPECT_EQ("1|b", lines.At(1));
  EXPECT_EQ("", manager.LineBuffer());
}

TEST_F(PortManagerTest, AFailingHandlerDoesNotStopLaterLines) {
  lines.failFirst = 1;
  manager.AddLineHandler("\r\n", &lines, &Lines::Receive);
  ASSERT_TRUE(manager.Connect());
  sim.Send(kPort, "first\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 1; }));
  manager.SetLineBuffer("");
  sim.Send(kPort, "second\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= 2; }));
  EXPECT_EQ("1|second\r\n", lines.At(1));
}

TEST_F(PortManagerTest, TheTwentyFirstHandlerIsRefused) {
  for (int i = 0; i < kMaxLineHandlers; ++i) AddLineHandler();
  try {
    AddLineHandler();
    FAIL() << "a 21st handler must be refused";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("Невозможно добавить внешнюю процедуру", e.what());
  }
  manager.ClearLineHandlers();
  AddLineHandler();  // room again
}

TEST_F(PortManagerTest, ExecuteAfterSwitchOffDoesNotTouchThePort) {
  manager.SetListening(true);
  manager.SetConnected(false);
  manager.AddCommand(true, 1, "k");
  manager.Execute(reply);
  EXPECT_EQ(kPmSwitchedOff, manager.LastError());
  EXPECT_FALSE(manager.Support().IsConnected());
  PumpedDelay(200);
  EXPECT_EQ("", sim.Received(kPort));
}

TEST_F(PortManagerTest, WriteTimeoutsFollowTheDataLength) {
  manager.Settings().writeTimeoutSeconds = 10;
  manager.AddCommand(true, 1, "k");
  manager.Execute(reply);
  const TComTimeouts& timeouts = manager.Support().Port().Timeouts();
  EXPECT_EQ(20, timeouts.WriteTotalMultiplier());
  EXPECT_EQ(5000, timeouts.WriteTotalConstant());

  manager.AddCommand(true, 1000, std::string(1000, 'x'));
  manager.Execute(reply);
  EXPECT_EQ(10, timeouts.WriteTotalMultiplier());
  EXPECT_EQ(kPmOk, manager.LastError());
  EXPECT_TRUE(WaitUntil([&] { return sim.Received(kPort).size() >= 1000; }));
}

TEST_F(PortManagerTest, WithoutKeepOpenEveryRunClosesThePort) {
  manager.Settings().keepOpen = 0;
  manager.AddCommand(true, 1, "k");
  manager.Execute(reply);
  EXPECT_EQ(kPmOk, manager.LastError());
  EXPECT_FALSE(manager.Support().IsConnected());
}

TEST_F(PortManagerTest, AbortCheckRaisesOperationCancelled) {
  manager.SetAbortCheck([] { return true; });
  manager.AddCommand(true, 1, "k");
  try {
    manager.Execute(reply);
    FAIL() << "the abort check must stop the run";
  } catch (const EProtectException& e) {
    EXPECT_EQ(20026, e.Code());
  }
  EXPECT_FALSE(manager.Support().IsConnected());
}

TEST_F(PortManagerTest, SettingsReachTheDeviceAndOutOfTableIndexesDoNot) {
  manager.Settings().baudIndex = TableIndex(kBaudRates, 19200);
  manager.Settings().dataBitsIndex = TableIndex(kDataBits, 7);
  manager.Settings().stopBitsIndex = TableIndex(kStopBits, 2);
  manager.Settings().parity = 2;
  ASSERT_TRUE(manager.Connect());
  const std::string settings = sim.Settings(kPort);
  EXPECT_EQ("19200", SettingOf(settings, "baud")) << settings;
  EXPECT_EQ("7", SettingOf(settings, "data")) << settings;
  EXPECT_EQ("2", SettingOf(settings, "stop")) << settings;
  EXPECT_EQ("even", SettingOf(settings, "parity")) << settings;

  // A negative baud index leaves the rate as it is; the rest still applies.
  manager.Settings().baudIndex = -1;
  manager.Settings().dataBitsIndex = TableIndex(kDataBits, 8);
  ASSERT_TRUE(manager.Connect());
  EXPECT_EQ("19200", SettingOf(sim.Settings(kPort), "baud"));
  EXPECT_EQ("8", SettingOf(sim.Settings(kPort), "data"));

  // An index outside its table never reaches the device: a closed port is not opened.
  manager.Disconnect(false);
  manager.Settings().dataBitsIndex = 9;
  EXPECT_FALSE(manager.Connect());
  EXPECT_EQ(kPmPortClosed, manager.LastError());
  EXPECT_FALSE(manager.Support().IsConnected());
  manager.Settings().dataBitsIndex = 0;
  manager.Settings().portIndex = 20;
  EXPECT_FALSE(manager.Connect());
  manager.Settings().portIndex = TableIndex(kPortNumbers, kPort);
  manager.AddCommand(true, 1, "k");
  manager.Execute(reply);
  EXPECT_EQ(kPmOk, manager.LastError());
}

TEST_F(PortManagerTest, AMissingPortFailsTheRunWithOpenFailed) {
  manager.Settings().portIndex = TableIndex(kPortNumbers, 901);
  manager.AddCommand(true, 1, "k");
  manager.Execute(reply);
  EXPECT_EQ(kPmOpenFailed, manager.LastError());
  EXPECT_FALSE(manager.Support().IsConnected());
}

}  // namespace
}  // namespace ra03v::test
