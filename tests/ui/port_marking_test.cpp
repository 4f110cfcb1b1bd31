// Marking of the port list against real devices: the rig's virtual COM ports
// (tools/README.md). Every COM port the dialog tests is created by the
// simulator, so none falls back to the machine's own serial device.
#include <gtest/gtest.h>

#include <cstdio>

#include "dialog_driver.h"
#include "foundation/win/unique_handle.h"
#include "support/sim_client.h"
#include "ui/port_availability.h"
#include "ui/port_pictures.h"

namespace ra03v::test {
namespace {

constexpr int kMissingPort = 5;  // never created: no device behind COM5
constexpr int kHeldPort = 3;
constexpr int kFirstLptEntry = 16, kNetworkPrinterEntry = 19;

FileHandle OpenExclusive(const wchar_t* path) {
  return FileHandle(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
}

class PortMarkingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Connected()) << "the simulated reader is not running";
    for (int port = 1; port <= 16; ++port)
      if (port != kMissingPort) sim.CreatePort(port);
    record.keepOpen = 1;
    params.settings = &record;
    params.deviceName = &deviceName;
    params.checkPorts = true;
  }
  // The picture of every port entry after creation.
  std::vector<int> Pictures() {
    std::vector<int> pictures;
    RunDialogAsUser(params, [&](DialogUser& user) {
      for (int i = 0; i < user.Count(IDC_CBPORT); ++i) pictures.push_back(user.Picture(i));
      user.Click(IDCANCEL);
    });
    return pictures;
  }

  SimClient sim;
  TComPortSennings record;
  std::string deviceName = "Считыватель";
  PortSettingsDialogParams params;
};

TEST_F(PortMarkingTest, ForASerialDeviceFreePortsOpenAndOtherKindsAreUnusable) {
  params.serialPortsUsable = true;
  const std::vector<int> pictures = Pictures();
  ASSERT_EQ(pictures.size(), 20u);
  for (int port = 1; port <= 16; ++port)
    EXPECT_EQ(pictures[port - 1], port == kMissingPort ? kPicturePortBusy : kPicturePortFree)
        << "COM " << port;
  for (int i = kFirstLptEntry; i <= kNetworkPrinterEntry; ++i)
    EXPECT_EQ(pictures[i], kPictureKindUnusable) << i;
}

TEST_F(PortMarkingTest, APortHeldOpenShowsWhatASecondOpenGives) {
  params.serialPortsUsable = true;
  FileHandle held = OpenExclusive(L"\\\\.\\COM3");
  ASSERT_TRUE(held.IsValid());
  // Windows refuses a second open of a port held without sharing; Wine does
  // not enforce that for devices. The dialog must show what the system gives.
  const bool secondOpenWorks = OpenExclusive(L"\\\\.\\COM3").IsValid();
  RecordProperty("second_open_of_held_port", secondOpenWorks ? "granted" : "refused");
  std::printf("second open of a held port: %s\n", secondOpenWorks ? "granted" : "refused");
  const std::vector<int> pictures = Pictures();
  ASSERT_EQ(pictures.size(), 20u);
  EXPECT_EQ(pictures[kHeldPort - 1], secondOpenWorks ? kPicturePortFree : kPicturePortBusy);
  EXPECT_EQ(pictures[kHeldPort], kPicturePortFree);  // COM 4, not held
}

TEST_F(PortMarkingTest, ForAPrinterDeviceTheNetworkEntryTestsTheTrimmedPrinterName) {
  params.printerPortsUsable = true;
  record.networkPrinterName = "  COM7 ";  // a name that opens here
  std::vector<int> pictures = Pictures();
  ASSERT_EQ(pictures.size(), 20u);
  for (int port = 1; port <= 16; ++port)
    EXPECT_EQ(pictures[port - 1], kPictureKindUnusable) << "COM " << port;
  for (int lpt = 1; lpt <= 3; ++lpt) {
    const std::wstring name = L"LPT" + std::to_wstring(lpt);
    EXPECT_EQ(pictures[kFirstLptEntry + lpt - 1],
              TryOpenPort(name) ? kPicturePortFree : kPicturePortBusy)
        << "LPT " << lpt;
  }
  EXPECT_EQ(pictures[kNetworkPrinterEntry], kPicturePortFree);

  record.networkPrinterName = "";  // usable kind, nothing to test
  pictures = Pictures();
  EXPECT_EQ(pictures[kNetworkPrinterEntry], kPicturePortBusy);
}

TEST(PortEntryDeviceTest, NamesFollowTheEntryKindAndTheUsableKinds) {
  EXPECT_EQ(DeviceOfPortEntry(L"COM 12", true, false, L"").name, L"COM12");
  EXPECT_EQ(DeviceOfPortEntry(L"com 3", true, false, L"").name, L"COM3");
  EXPECT_FALSE(DeviceOfPortEntry(L"COM 3", false, true, L"").usable);
  EXPECT_EQ(DeviceOfPortEntry(L"LPT 2", false, true, L"").name, L"LPT2");
  EXPECT_FALSE(DeviceOfPortEntry(L"LPT 2", true, false, L"").usable);
  // The network printer's entry begins with a Cyrillic letter, not a Latin C.
  const PortEntryDevice printer = DeviceOfPortEntry(L"Сетевой принтер", true, true, L" \\\\s\\p ");
  EXPECT_TRUE(printer.usable);
  EXPECT_EQ(printer.name, L"\\\\s\\p");
  EXPECT_FALSE(DeviceOfPortEntry(L"Сетевой принтер", true, false, L"x").usable);
}

}  // namespace
}  // namespace ra03v::test
