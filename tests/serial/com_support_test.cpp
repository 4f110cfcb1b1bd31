// TComSupport's tables and refusals, without a device.
#include <gtest/gtest.h>

#include "foundation/protect_exception.h"
#include "serial/com_support.h"

namespace ra03v {
namespace {

TEST(ComSupport, NewObjectFixesQueueSizesAndDeliveryOnTheEventThread) {
  TComSupport support;
  TComPort& port = support.Port();
  EXPECT_EQ(8192, port.Buffer().InputSize());
  EXPECT_EQ(8192, port.Buffer().OutputSize());
  EXPECT_EQ(smNone, port.SyncMethod());
  EXPECT_EQ(br9600, port.BaudRate());
  EXPECT_EQ("COM1", port.Port());
  EXPECT_EQ(fcNone, port.FlowControl().FlowControl());
  EXPECT_FALSE(support.IsConnected());
  EXPECT_EQ(0, support.PendingCount());
  EXPECT_EQ("0.1", support.Version());
  // The values the port manager passes for the queue sizes are ignored.
  support.SetInSize(100);
  support.SetOutSize(100);
  support.SetBufferFull(1);
  EXPECT_EQ(8192, port.Buffer().InputSize());
  EXPECT_EQ(8192, port.Buffer().OutputSize());
}

TEST(ComSupport, BaudTableAndCustomRates) {
  TComSupport support;
  TComPort& port = support.Port();
  const struct {
    int32_t bits;
    TBaudRate rate;
  } table[] = {{115200, br115200}, {57600, br57600}, {38400, br38400},
               {19200, br19200},   {9600, br9600},   {4800, br4800},
               {2400, br2400},     {1200, br1200},   {300, br300}};
  for (const auto& row : table) {
    support.SetBaud(row.bits);
    EXPECT_EQ(row.rate, port.BaudRate()) << row.bits;
    EXPECT_EQ(static_cast<DWORD>(row.bits), port.BuildDcb().BaudRate);
  }
  // Rates outside the table, also those the enumeration has, go as custom rates.
  for (int32_t bits : {28800, 14400, 110, 256000}) {
    support.SetBaud(bits);
    EXPECT_EQ(brCustom, port.BaudRate()) << bits;
    EXPECT_EQ(bits, port.CustomBaudRate());
    EXPECT_EQ(static_cast<DWORD>(bits), port.BuildDcb().BaudRate);
  }
}

TEST(ComSupport, DataAndStopBitsTablesRefuseOtherNumbers) {
  TComSupport support;
  TComPort& port = support.Port();
  const TDataBits data[] = {dbFive, dbSix, dbSeven, dbEight};
  for (int32_t bits = 5; bits <= 8; ++bits) {
    support.SetDataBits(bits);
    EXPECT_EQ(data[bits - 5], port.DataBits());
  }
  support.SetDataBits(7);
  for (int32_t bad : {9, 4, 0, -8}) {
    try {
      support.SetDataBits(bad);
      FAIL() << bad << " data bits accepted";
    } catch (const EProtectException& e) {
      EXPECT_STREQ("SetDataBits", e.what());
    }
  }
  EXPECT_EQ(dbSeven, port.DataBits());
  support.SetStopBits(2);
  EXPECT_EQ(sbTwoStopBits, port.StopBits());
  support.SetStopBits(1);
  EXPECT_EQ(sbOneStopBit, port.StopBits());
  for (int32_t bad : {0, 3, 15}) {  // one and a half cannot be chosen
    try {
      support.SetStopBits(bad);
      FAIL() << bad << " stop bits accepted";
    } catch (const EProtectException& e) {
      EXPECT_STREQ("SetStopBits", e.what());
    }
  }
  EXPECT_EQ(sbOneStopBit, port.StopBits());
}

TEST(ComSupport, ParityFlowAndPortNameSetters) {
  TComSupport support;
  TComPort& port = support.Port();
  for (int32_t p = 0; p <= 4; ++p) {
    support.SetParityBits(p);
    EXPECT_EQ(p, port.Parity().Bits());
  }
  EXPECT_THROW(support.SetParityBits(5), EProtectException);
  EXPECT_THROW(support.SetParityBits(-1), EProtectException);
  EXPECT_EQ(prSpace, port.Parity().Bits());

  const TComFlowControl& flow = port.FlowControl();
  support.SetXonXoffMode(1);
  EXPECT_TRUE(flow.XonXoffIn());
  EXPECT_FALSE(flow.XonXoffOut());
  support.SetXonXoffMode(2);
  EXPECT_FALSE(flow.XonXoffIn());
  EXPECT_TRUE(flow.XonXoffOut());
  support.SetXonXoffMode(3);
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  support.SetXonXoffMode(4);  // no such mode: nothing changes
  support.SetXonXoffMode(-1);
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  support.SetXonXoffMode(0);
  EXPECT_FALSE(flow.XonXoffIn() || flow.XonXoffOut());

  support.SetXonChar(0x111);  // the low 8 bits
  support.SetXoffChar(0x93);
  EXPECT_EQ(0x11, static_cast<unsigned char>(flow.XonChar()));
  EXPECT_EQ(0x93, static_cast<unsigned char>(flow.XoffChar()));

  support.SetPortNumber(3);
  EXPECT_EQ("COM3", port.Port());
  support.SetPortNumber(101);
  EXPECT_EQ("COM101", port.Port());
}

TEST(ComSupport, ForwardsReceivedCountsNarrowedToSixteenBits) {
  TComSupport support;
  TComPort& port = support.Port();
  ASSERT_TRUE(port.OnRxChar);
  port.OnRxChar(port, 5);  // no handler yet: nothing happens
  int calls = 0;
  uint16_t lastCount = 0;
  TCustomComPort* lastSender = nullptr;
  support.SetReceiveHandler([&](TCustomComPort& sender, uint16_t count) {
    ++calls;
    lastCount = count;
    lastSender = &sender;
  });
  port.OnRxChar(port, 70000);
  EXPECT_EQ(1, calls);
  EXPECT_EQ(70000 & 0xFFFF, lastCount);
  EXPECT_EQ(&port, lastSender);
  support.SetReceiveHandler(nullptr);
  port.OnRxChar(port, 3);
  EXPECT_EQ(1, calls);
}

TEST(ComSupport, SetPortOpenFalseOnAClosedPortDoesNothing) {
  TComSupport support;
  support.SetPortNumber(198);  // no such device: an attempt to open would raise
  EXPECT_NO_THROW(support.SetPortOpen(false));
  EXPECT_FALSE(support.IsConnected());
  EXPECT_THROW(support.SetPortOpen(true), EComPort);
  EXPECT_FALSE(support.IsConnected());
}

}  // namespace
}  // namespace ra03v
