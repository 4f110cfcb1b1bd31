// Switching devices on and off against the simulated reader: the device's
// port manager opens the port of its settings, lines reach the device on the
// port's event thread, and switching off or destroying the list closes it.
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <vector>

#include "device_test_list.h"
#include "support/serial_rig.h"
#include "support/sim_client.h"

namespace ra03v::test {
namespace {

constexpr int kPort = 14;

// A model device whose open step opens its port and which keeps every line.
class PortDevice : public TDeviceItem {
 public:
  explicit PortDevice(TDevicesList& list) : TDeviceItem(list) {}
  ~PortDevice() override { ClosePortNow(); }

  bool DeviceOpen() override {
    if (throwOnOpen) {
      PortManager().Connect();
      throw std::runtime_error("open step failed");
    }
    if (failWith != 0) {
      SetLastResult(failWith);
      return false;
    }
    return PortManager().Connect();
  }
  bool DeviceClose() override {
    ++closed;
    return true;
  }
  void SetupPortManager() override {
    TDeviceItem::SetupPortManager();
    PortManager().SetDeviceTag(std::to_string(Index() + 1));
    PortManager().ClearLineHandlers();
    PortManager().AddLineHandler("\r\n", this, &TDeviceItem::LineProcedureOf);
  }
  void LineReceived(const char* line) override {
    std::lock_guard<std::mutex> guard(lock);
    lines.emplace_back(line);
    threads.push_back(GetCurrentThreadId());
  }
  size_t LineCount() {
    std::lock_guard<std::mutex> guard(lock);
    return lines.size();
  }

  int32_t failWith = 0;
  bool throwOnOpen = false;
  int closed = 0;
  std::mutex lock;
  std::vector<std::string> lines;
  std::vector<DWORD> threads;
};

class DevicePort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    sim.CreatePort(kPort);
  }
  PortDevice& NewDevice(const char* port) {
    auto& device = static_cast<PortDevice&>(list->AppendDevice());
    device.SetProperty("ComNumber", port);
    return device;
  }

  SimClient sim;
  std::unique_ptr<TDevicesList> list =
      ReaderLikeList([](TDevicesList& l) { return std::make_unique<PortDevice>(l); });
};

TEST_F(DevicePort, AMissingPortLeavesTheDeviceOffWithResult3AndThePortClosed) {
  PortDevice& device = NewDevice("901");
  device.SetDeviceActive(1);
  EXPECT_EQ(3, device.LastResult());
  EXPECT_EQ(0, device.GetActive());
  EXPECT_FALSE(device.PortManager().Support().IsConnected());
  EXPECT_EQ(1, device.closed);  // the failed switch-on ran the switch-off path

  device.failWith = 7;  // a code of the device's own is kept
  device.SetDeviceActive(1);
  EXPECT_EQ(7, device.LastResult());
  EXPECT_EQ(0, device.GetActive());
}

TEST_F(DevicePort, SwitchingOnOpensThePortLinesArriveAndSwitchingOffClosesIt) {
  PortDevice& device = NewDevice("14");
  device.SetDeviceActive(1);
  EXPECT_EQ(0, device.LastResult());
  EXPECT_EQ(1, device.GetActive());
  EXPECT_TRUE(device.PortManager().Support().IsConnected());

  sim.Send(kPort, "12345678\\r\\n");
  ASSERT_TRUE(WaitUntil([&] { return device.LineCount() == 1; }));
  {
    std::lock_guard<std::mutex> guard(device.lock);
    EXPECT_EQ("1|12345678\r\n", device.lines[0]);
    EXPECT_NE(GetCurrentThreadId(), device.threads[0]);  // the port's event thread
  }

  list->SwitchOffAll();
  EXPECT_EQ(0, device.GetActive());
  EXPECT_FALSE(device.PortManager().Support().IsConnected());
  EXPECT_EQ(1, device.closed);
}

TEST_F(DevicePort, AnOpenStepThatThrowsLeavesTheDeviceOffAndThePortClosed) {
  PortDevice& device = NewDevice("14");
  device.throwOnOpen = true;
  EXPECT_THROW(device.SetDeviceActive(1), std::runtime_error);
  EXPECT_EQ(0, device.GetActive());
  EXPECT_FALSE(device.PortManager().Support().IsConnected());
  EXPECT_EQ(1, device.closed);
}

TEST_F(DevicePort, WithoutKeepOpenThePortClosesRightAfterSwitchingOn) {
  PortDevice& device = NewDevice("14");
  device.SetProperty("IsOpen", "0");
  device.SetDeviceActive(1);
  EXPECT_EQ(0, device.LastResult());
  EXPECT_EQ(1, device.GetActive());
  EXPECT_FALSE(device.PortManager().Support().IsConnected());
}

TEST_F(DevicePort, DestroyingTheListWhileLinesArriveClosesEveryPortFirst) {
  PortDevice& device = NewDevice("14");
  device.SetDeviceActive(1);
  ASSERT_TRUE(device.PortManager().Support().IsConnected());
  for (int i = 0; i < 20; ++i) sim.Send(kPort, "ABCDEFGH\\r\\n");
  list.reset();  // must neither hang nor reach a destroyed device
  EXPECT_EQ(nullptr, list.get());
}

}  // namespace
}  // namespace ra03v::test
