// TComPort against the simulated reader on a virtual port, with the modem-line
// library preloaded (a null-modem cable).
#include <gtest/gtest.h>

#include <atomic>

#include "foundation/message_pump.h"
#include "foundation/win/event.h"
#include "serial/com_port.h"
#include "support/process_handles.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v {
namespace {

using test::SettingOf;
using test::WaitUntil;

constexpr int kPort = 11;
constexpr int kOtherPort = 12;

class ComPortDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "run through tools/run-with-sim.sh";
    sim.CreatePort(kPort);
    port.SetPort("COM" + std::to_string(kPort));
    port.SetSyncMethod(smNone);
  }
  // Installs a handler that reads what it is told about, as the port manager does.
  void ReadInHandler() {
    port.OnRxChar = [this](TCustomComPort& sender, int32_t count) {
      std::string bytes;
      sender.ReadText(bytes, count);
      received.Append(bytes, count);
    };
  }
  test::SimClient sim;
  TComPort port;
  test::ReceivedBytes received;
};

TEST_F(ComPortDevice, MissingDeviceRaisesOpenErrorWithSystemCodeAndStaysClosed) {
  port.SetPort("COM199");
  try {
    port.Open();
    FAIL() << "opened a port that does not exist";
  } catch (const EComPort& e) {
    EXPECT_EQ(CError_OpenFailed, e.PortErrorCode());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, static_cast<DWORD>(e.SystemErrorCode()));
    EXPECT_STREQ("Unable to open com port (win error code: 2)", e.what());
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
  EXPECT_FALSE(port.ThreadCreated());
}

TEST_F(ComPortDevice, SettingsWaitForOpenThenReachTheDeviceAtOnce) {
  port.SetBaudRate(br19200);
  port.SetDataBits(dbSeven);
  port.Parity().SetBits(prEven);
  port.SetStopBits(sbTwoStopBits);
  // Closed: the device still has what the simulator set up.
  EXPECT_EQ("9600", SettingOf(sim.Settings(kPort), "baud"));
  port.Open();
  std::string s = sim.Settings(kPort);
  EXPECT_EQ("19200", SettingOf(s, "baud"));
  EXPECT_EQ("7", SettingOf(s, "data"));
  EXPECT_EQ("even", SettingOf(s, "parity"));
  EXPECT_EQ("2", SettingOf(s, "stop"));
  // Open: every change is on the line before the setter returns.
  port.SetBaudRate(br57600);
  EXPECT_EQ("57600", SettingOf(sim.Settings(kPort), "baud"));
  port.Parity().SetBits(prOdd);
  EXPECT_EQ("odd", SettingOf(sim.Settings(kPort), "parity"));
  port.SetDataBits(dbEight);
  port.SetStopBits(sbOneStopBit);
  s = sim.Settings(kPort);
  EXPECT_EQ("8", SettingOf(s, "data"));
  EXPECT_EQ("1", SettingOf(s, "stop"));
  // A custom rate that the enumeration lacks goes through unchanged...
  port.SetCustomBaudRate(28800);
  EXPECT_EQ("57600", SettingOf(sim.Settings(kPort), "baud"));  // ignored until brCustom
  port.SetBaudRate(brCustom);
  EXPECT_EQ("28800", SettingOf(sim.Settings(kPort), "baud"));
  port.FlowControl().SetXonXoffIn(true);
  EXPECT_EQ("1", SettingOf(sim.Settings(kPort), "ixoff"));
  port.FlowControl().SetFlowControl(fcNone);
  EXPECT_EQ("0", SettingOf(sim.Settings(kPort), "ixoff"));
}

TEST_F(ComPortDevice, ReceivedBytesArriveThroughOnRxCharOnTheEventThread) {
  ReadInHandler();
  port.Open();
  EXPECT_EQ(0x5FFu, port.EventMask());
  sim.Send(kPort, "hello\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 7; }));
  EXPECT_EQ("hello\r\n", received.Text());
  // Each notification's count was exactly what the handler could read.
  EXPECT_EQ(7, received.CountSum());
  EXPECT_NE(0u, received.HandlerThread());
  EXPECT_NE(GetCurrentThreadId(), received.HandlerThread());
  // A second batch arrives the same way.
  sim.Send(kPort, "\\x01\\x00\\xFF");
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= 10; }));
  EXPECT_EQ(std::string("hello\r\n\x01\x00\xFF", 10), received.Text());
  EXPECT_EQ(10, received.CountSum());
}

TEST_F(ComPortDevice, ReadTextReturnsAtOnceWithOnlyWhatIsQueued) {
  port.Open();  // no OnRxChar: bytes stay in the driver's queue
  std::string text = "stale";
  EXPECT_EQ(0, port.ReadText(text, 50));
  EXPECT_EQ("", text);
  sim.Send(kPort, "abc");
  ASSERT_TRUE(WaitUntil([&] { return port.QueuedInputCount() == 3; }));
  EXPECT_EQ(2, port.ReadText(text, 2));
  EXPECT_EQ("ab", text);
  EXPECT_EQ(1, port.ReadText(text, 100));
  EXPECT_EQ("c", text);
  EXPECT_EQ(0, port.ReadText(text, 100));
  EXPECT_EQ(0, port.ReadText(text, 0));
  EXPECT_EQ(0, port.ReadText(text, -5));
}

TEST_F(ComPortDevice, ReadTextOnAClosedPortFailsAsARead) {
  std::string text = "stale";
  try {
    port.ReadText(text, 4);
    FAIL() << "read from a closed port";
  } catch (const EComPort& e) {
    EXPECT_EQ(CError_ReadFailed, e.PortErrorCode());
    EXPECT_EQ(ERROR_INVALID_HANDLE, static_cast<DWORD>(e.SystemErrorCode()));
    EXPECT_STREQ("ReadFile function failed (win error code: 6)", e.what());
  }
  EXPECT_EQ("", text);
  // Nothing asked for, nothing tried: no error either.
  EXPECT_EQ(0, port.ReadText(text, 0));
  // After a close it is the same.
  port.Open();
  sim.Send(kPort, "ab");
  ASSERT_TRUE(WaitUntil([&] { return port.QueuedInputCount() == 2; }));
  port.Close();
  try {
    port.ReadText(text, 2);
    FAIL() << "read from a port that was closed";
  } catch (const EComPort& e) {
    EXPECT_EQ(CError_ReadFailed, e.PortErrorCode());
  }
}

TEST_F(ComPortDevice, WriteTextReachesTheReaderAndEmptyTextTouchesNothing) {
  // Closed, an empty text is not even tried; any other text fails at the device.
  EXPECT_EQ(0, port.WriteText(""));
  EXPECT_THROW(port.WriteText("n"), EComPort);
  ReadInHandler();
  port.Open();
  EXPECT_EQ(0, port.WriteText(""));
  EXPECT_EQ(1, port.WriteText("n"));
  ASSERT_TRUE(WaitUntil([&] { return received.Text() == "OK\r\n"; }));
  EXPECT_EQ("n", sim.Received(kPort));
  const std::string big(3000, 'x');  // not a reader command: no reply
  EXPECT_EQ(3000, port.WriteText(big));
  std::string seen;
  ASSERT_TRUE(WaitUntil([&] {
    seen += sim.Received(kPort);
    return seen.size() >= 3000;
  }));
  EXPECT_EQ(big, seen);
}

TEST_F(ComPortDevice, ReaderAnswersPollsWithPresentedCards) {
  ReadInHandler();
  port.Open();
  sim.Command("card " + std::to_string(kPort) + " 0A1B2C3D 2");
  for (int i = 0; i < 3; ++i) port.WriteText("k");
  const std::string expected = "OK\r\n0A1B2C3D\r\nOK\r\n0A1B2C3D\r\nOK\r\n";
  ASSERT_TRUE(WaitUntil([&] { return received.Text().size() >= expected.size(); }));
  EXPECT_EQ(expected, received.Text());
}

TEST_F(ComPortDevice, CloseDiscardsUnreadBytes) {
  port.Open();
  sim.Send(kPort, "xyz");
  ASSERT_TRUE(WaitUntil([&] { return port.QueuedInputCount() == 3; }));
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
  port.Open();
  std::string text;
  EXPECT_EQ(0, port.QueuedInputCount());
  EXPECT_EQ(0, port.ReadText(text, 10));
}

TEST_F(ComPortDevice, EmptyEventsStartNoThreadAndRunNoHandler) {
  port.SetEvents({});
  ReadInHandler();
  port.Open();
  EXPECT_FALSE(port.ThreadCreated());
  sim.Send(kPort, "abcd");
  ASSERT_TRUE(WaitUntil([&] { return port.QueuedInputCount() == 4; }));
  Sleep(200);  // time in which a running thread would have delivered
  EXPECT_EQ(0, received.Notifications());
  std::string text;
  EXPECT_EQ(4, port.ReadText(text, 10));
  EXPECT_EQ("abcd", text);
}

TEST_F(ComPortDevice, OpenAndCloseReportTheModemLinesAndTheirOrder) {
  std::string log;
  port.OnBeforeOpen = [&](TCustomComPort&) { log += "before-open "; };
  port.OnAfterOpen = [&](TCustomComPort& p) { log += p.Connected() ? "after-open " : "closed! "; };
  port.OnCTSChange = [&](TCustomComPort&, bool on) { log += on ? "cts+ " : "cts- "; };
  port.OnDSRChange = [&](TCustomComPort&, bool on) { log += on ? "dsr+ " : "dsr- "; };
  port.OnRLSDChange = [&](TCustomComPort&, bool on) { log += on ? "rlsd+ " : "rlsd- "; };
  port.OnBeforeClose = [&](TCustomComPort&) { log += "before-close "; };
  port.OnAfterClose = [&](TCustomComPort& p) { log += p.Connected() ? "open! " : "after-close"; };
  port.Open();
  port.Open();  // already open: nothing
  const TModemSignals s = port.ModemSignals();
  EXPECT_TRUE(s.CTS && s.DSR && s.RLSD);
  EXPECT_FALSE(s.Ring);
  port.Close();
  port.Close();  // already closed: nothing
  EXPECT_EQ("before-open after-open cts+ dsr+ rlsd+ cts- dsr- rlsd- before-close after-close", log);
}

// A handler on the event thread closes its own port (a host switching its
// reader off from the card event): the close cannot wait for the thread it
// runs on, yet the port is closed when it returns and nothing more arrives.
TEST_F(ComPortDevice, CloseFromAHandlerOnTheEventThreadClosesThePort) {
  Event handled = Event::ManualReset();
  std::atomic<int> deliveries{0};
  std::string failure;
  bool closedInHandler = false;
  port.OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    ++deliveries;
    std::string bytes;
    sender.ReadText(bytes, count);
    try {
      sender.Close();
      closedInHandler = !sender.Connected();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    handled.Set();
  };
  port.Open();
  sim.Send(kPort, "x");
  ASSERT_TRUE(handled.Wait(10000));
  EXPECT_EQ("", failure);
  EXPECT_TRUE(closedInHandler);
  EXPECT_FALSE(port.Connected());
  sim.Send(kPort, "y");
  Sleep(500);
  EXPECT_EQ(1, deliveries.load()) << "no delivery after the close";

  // The device was let go: the port opens again and delivers on a new thread.
  handled.ResetSignal();
  port.OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    std::string bytes;
    sender.ReadText(bytes, count);
    handled.Set();
  };
  port.Open();
  sim.Send(kPort, "z");
  EXPECT_TRUE(handled.Wait(10000));
  port.Close();
  EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortDevice, SyncMethodIsRefusedWhileOpen) {
  port.Open();
  try {
    port.SetSyncMethod(smWindowSync);
    FAIL() << "SyncMethod changed on an open port";
  } catch (const EComPort& e) {
    EXPECT_EQ(CError_ConnChangeProp, e.PortErrorCode());
    EXPECT_EQ(-1, e.SystemErrorCode());
    EXPECT_STREQ("Cannot set property while connected", e.what());
  }
  EXPECT_EQ(smNone, port.SyncMethod());
  port.Close();
  port.SetSyncMethod(smWindowSync);
  EXPECT_EQ(smWindowSync, port.SyncMethod());
}

TEST_F(ComPortDevice, RenamingAnOpenPortReopensItOnTheNewDevice) {
  sim.CreatePort(kOtherPort);
  port.Open();
  const HANDLE first = port.Handle();
  port.SetPort("COM" + std::to_string(kPort));  // same name: nothing happens
  EXPECT_EQ(first, port.Handle());
  port.SetPort("COM" + std::to_string(kOtherPort));
  EXPECT_TRUE(port.Connected());
  EXPECT_TRUE(port.ThreadCreated());
  EXPECT_EQ(1, port.WriteText("f"));
  std::string seen;
  ASSERT_TRUE(WaitUntil([&] {
    seen += sim.Received(kOtherPort);
    return !seen.empty();
  }));
  EXPECT_EQ("f", seen);
  EXPECT_EQ("", sim.Received(kPort));
}

TEST_F(ComPortDevice, ThreadSyncRunsHandlersOnThePortsThread) {
  port.SetSyncMethod(smThreadSync);
  ReadInHandler();
  port.Open();
  sim.Send(kPort, "sync");
  // The handler runs only while this thread dispatches messages.
  const DWORD start = GetTickCount();
  while (received.Text().size() < 4 && GetTickCount() - start < 10000) PumpedDelay(20);
  EXPECT_EQ("sync", received.Text());
  EXPECT_EQ(GetCurrentThreadId(), received.HandlerThread());
  port.Close();
}

TEST_F(ComPortDevice, WindowSyncRunsHandlersOnThePortsThread) {
  port.SetSyncMethod(smWindowSync);
  ReadInHandler();
  port.Open();
  sim.Send(kPort, "window");
  const DWORD start = GetTickCount();
  while (received.Text().size() < 6 && GetTickCount() - start < 10000) PumpedDelay(20);
  EXPECT_EQ("window", received.Text());
  EXPECT_EQ(GetCurrentThreadId(), received.HandlerThread());
  port.Close();
}

TEST_F(ComPortDevice, SimulatorVanishingLeavesNoSpinningThreadAndCloseStillWorks) {
  ReadInHandler();
  port.Open();
  sim.Command("vanish " + std::to_string(kPort));
  Sleep(300);
  // Loose bound on purpose (shared machines): a spinning thread uses about the
  // whole second, a waiting one next to nothing.
  const double cpuBefore = test::ProcessCpuMs();
  Sleep(1000);
  EXPECT_LT(test::ProcessCpuMs() - cpuBefore, 400.0);
  // As a removed adapter does: a write fails, which is how a reader notices
  // its cable pulled.
  EXPECT_THROW(port.WriteText("k"), EComPort);
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
}

TEST_F(ComPortDevice, OpeningAndClosingOftenLeaksNoHandle) {
  ReadInHandler();
  for (int i = 0; i < 10; ++i) {  // let lazily made system objects settle
    port.Open();
    port.Close();
  }
  ASSERT_TRUE(test::HandleCountingWorks());
  const long long before = test::CountProcessHandles();
  for (int i = 0; i < 1000; ++i) {
    port.Open();
    port.Close();
  }
  const long long after = test::CountProcessHandles();
  EXPECT_LE(after, before);
}

TEST_F(ComPortDevice, ClosingWhileBytesArriveLeaksNoHandle) {
  ReadInHandler();
  port.Open();
  port.Close();
  ASSERT_TRUE(test::HandleCountingWorks());
  const long long before = test::CountProcessHandles();
  for (int i = 0; i < 20; ++i) {
    port.Open();
    sim.Command("burst " + std::to_string(kPort) + " 200 0123456789ABCDEF");
    WaitUntil([&] { return received.Notifications() > 0; }, 2000);
    port.Close();
  }
  const long long after = test::CountProcessHandles();
  EXPECT_LE(after, before);
  EXPECT_GT(received.Text().size(), 0u);
}

}  // namespace
}  // namespace ra03v
