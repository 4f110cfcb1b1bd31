// The port's settings, device blocks, texts and export, without a device.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "foundation/protect_exception.h"
#include "serial/com_port.h"

namespace ra03v {
namespace {

TEST(ComPortSettings, NewPortHoldsTheDefaults) {
  TComPort port;
  EXPECT_EQ("COM1", port.Port());
  EXPECT_EQ(br9600, port.BaudRate());
  EXPECT_EQ(9600, port.CustomBaudRate());
  EXPECT_EQ(dbEight, port.DataBits());
  EXPECT_EQ(sbOneStopBit, port.StopBits());
  EXPECT_EQ(prNone, port.Parity().Bits());
  EXPECT_FALSE(port.Parity().Check());
  EXPECT_EQ(1024, port.Buffer().InputSize());
  EXPECT_EQ(1024, port.Buffer().OutputSize());
  EXPECT_EQ(-1, port.Timeouts().ReadInterval());
  EXPECT_EQ(0, port.Timeouts().ReadTotalMultiplier());
  EXPECT_EQ(0, port.Timeouts().ReadTotalConstant());
  EXPECT_EQ(100, port.Timeouts().WriteTotalMultiplier());
  EXPECT_EQ(1000, port.Timeouts().WriteTotalConstant());
  EXPECT_EQ(fcNone, port.FlowControl().FlowControl());
  EXPECT_EQ(17, port.FlowControl().XonChar());
  EXPECT_EQ(19, port.FlowControl().XoffChar());
  EXPECT_EQ(kAllComEvents, port.Events());
  EXPECT_EQ(0x5FFu, EventsToMask(port.Events()));
  EXPECT_EQ(smThreadSync, port.SyncMethod());
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(INVALID_HANDLE_VALUE, port.Handle());
}

TEST(ComPortSettings, FlowControlSummaryFollowsItsFourFieldsAndTheLastWriteWins) {
  TComFlowControl flow;  // stand-alone: no port to apply to
  flow.SetOutDSRFlow(true);
  flow.SetControlDTR(dtrHandshake);
  EXPECT_EQ(fcNone, flow.FlowControl());  // DSR and DTR are not part of the summary
  flow.SetFlowControl(fcHardware);
  EXPECT_EQ(rtsHandshake, flow.ControlRTS());
  EXPECT_TRUE(flow.OutCTSFlow());
  EXPECT_EQ(fcHardware, flow.FlowControl());
  flow.SetControlRTS(rtsEnable);
  EXPECT_EQ(fcCustom, flow.FlowControl());
  flow.SetFlowControl(fcCustom);  // changes nothing
  EXPECT_EQ(rtsEnable, flow.ControlRTS());
  flow.SetFlowControl(fcSoftware);
  EXPECT_EQ(rtsDisable, flow.ControlRTS());
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
  EXPECT_EQ(fcSoftware, flow.FlowControl());
  flow.SetXonXoffIn(false);
  EXPECT_EQ(fcCustom, flow.FlowControl());
  flow.SetFlowControl(fcNone);
  EXPECT_EQ(fcNone, flow.FlowControl());
  EXPECT_TRUE(flow.OutDSRFlow());  // untouched by the summary
}

TEST(ComPortSettings, DeviceControlBlockCarriesEverySetting) {
  TComPort port;
  DCB dcb = port.BuildDcb();
  EXPECT_EQ(28u, dcb.DCBlength);
  EXPECT_EQ(9600u, dcb.BaudRate);
  EXPECT_EQ(1u, dcb.fBinary);
  EXPECT_EQ(0u, dcb.fParity);
  EXPECT_EQ(8, dcb.ByteSize);
  EXPECT_EQ(NOPARITY, dcb.Parity);
  EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
  EXPECT_EQ(256, dcb.XonLim);
  EXPECT_EQ(0u, dcb.fAbortOnError);
  EXPECT_EQ(0u, dcb.fErrorChar);

  port.Buffer().SetInputSize(8193);
  EXPECT_EQ(8192, port.Buffer().InputSize());
  port.SetCustomBaudRate(28800);
  EXPECT_EQ(9600u, port.BuildDcb().BaudRate);  // ignored unless brCustom
  port.SetBaudRate(brCustom);
  port.SetDataBits(dbSeven);
  port.SetStopBits(sbTwoStopBits);
  port.Parity().SetBits(prMark);
  port.Parity().SetCheck(true);
  port.Parity().SetReplaceChar('?');
  port.FlowControl().SetFlowControl(fcHardware);
  port.FlowControl().SetControlDTR(dtrEnable);
  port.FlowControl().SetXonChar('A');
  port.FlowControl().SetXoffChar('B');
  port.SetEventChar('\n');
  port.SetDiscardNull(true);
  dcb = port.BuildDcb();
  EXPECT_EQ(28800u, dcb.BaudRate);
  EXPECT_EQ(2048, dcb.XonLim);
  EXPECT_EQ(2048, dcb.XoffLim);
  EXPECT_EQ(7, dcb.ByteSize);
  EXPECT_EQ(MARKPARITY, dcb.Parity);
  EXPECT_EQ(TWOSTOPBITS, dcb.StopBits);
  EXPECT_EQ(1u, dcb.fParity);
  EXPECT_EQ(0u, dcb.fErrorChar);  // check without replace: no error character
  EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_HANDSHAKE), dcb.fRtsControl);
  EXPECT_EQ(static_cast<DWORD>(DTR_CONTROL_ENABLE), dcb.fDtrControl);
  EXPECT_EQ(1u, dcb.fOutxCtsFlow);
  EXPECT_EQ('A', dcb.XonChar);
  EXPECT_EQ('B', dcb.XoffChar);
  EXPECT_EQ('\n', dcb.EvtChar);
  EXPECT_EQ(1u, dcb.fNull);
  port.Parity().SetReplace(true);
  dcb = port.BuildDcb();
  EXPECT_EQ(1u, dcb.fErrorChar);
  EXPECT_EQ('?', dcb.ErrorChar);
  port.SetBaudRate(br115200);
  EXPECT_EQ(115200u, port.BuildDcb().BaudRate);
}

TEST(ComPortSettings, TimeoutsBecomeTheDeviceRecord) {
  TComTimeouts timeouts;
  COMMTIMEOUTS t = timeouts.ToDevice();
  EXPECT_EQ(MAXDWORD, t.ReadIntervalTimeout);
  EXPECT_EQ(0u, t.ReadTotalTimeoutMultiplier);
  EXPECT_EQ(0u, t.ReadTotalTimeoutConstant);
  EXPECT_EQ(100u, t.WriteTotalTimeoutMultiplier);
  EXPECT_EQ(1000u, t.WriteTotalTimeoutConstant);
  TComPort port;
  timeouts.SetWriteTotalConstant(-1);
  timeouts.SetReadInterval(20);
  port.SetTimeouts(timeouts);  // assignment copies every value
  EXPECT_EQ(20, port.Timeouts().ReadInterval());
  EXPECT_EQ(MAXDWORD, port.Timeouts().ToDevice().WriteTotalTimeoutConstant);
}

TEST(ComPortSettings, ValuesOutsideAnEnumerationAreRefusedAndChangeNothing) {
  TComPort port;
  EXPECT_THROW(port.SetBaudRate(static_cast<TBaudRate>(16)), EProtectException);
  EXPECT_THROW(port.SetStopBits(static_cast<TStopBits>(3)), EProtectException);
  EXPECT_THROW(port.SetDataBits(static_cast<TDataBits>(4)), EProtectException);
  EXPECT_THROW(port.SetSyncMethod(static_cast<TSyncMethod>(3)), EProtectException);
  EXPECT_THROW(port.Parity().SetBits(static_cast<TParityBits>(5)), EProtectException);
  EXPECT_THROW(port.FlowControl().SetControlDTR(static_cast<TDTRFlowControl>(3)),
               EProtectException);
  EXPECT_THROW(port.FlowControl().SetControlRTS(static_cast<TRTSFlowControl>(4)),
               EProtectException);
  EXPECT_THROW(port.FlowControl().SetFlowControl(static_cast<TFlowControl>(4)), EProtectException);
  try {
    port.Parity().SetBits(static_cast<TParityBits>(7));
  } catch (const EProtectException& e) {
    EXPECT_STREQ("Invalid value 7 for Parity.Bits", e.what());
  }
  const DCB dcb = port.BuildDcb();
  EXPECT_EQ(9600u, dcb.BaudRate);
  EXPECT_EQ(NOPARITY, dcb.Parity);
  EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
  EXPECT_EQ(8, dcb.ByteSize);
  EXPECT_EQ(static_cast<DWORD>(DTR_CONTROL_DISABLE), dcb.fDtrControl);
  EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_DISABLE), dcb.fRtsControl);
  EXPECT_EQ(smThreadSync, port.SyncMethod());
}

TEST(ComPortSettings, ErrorsCarryTheTableTextAndTheSystemCode) {
  const EComPort withCode(CError_OpenFailed, 2);
  EXPECT_STREQ("Unable to open com port (win error code: 2)", withCode.what());
  EXPECT_EQ(2, withCode.SystemErrorCode());
  EXPECT_EQ(1, withCode.PortErrorCode());
  const EComPort withoutCode(CError_ConnChangeProp);
  EXPECT_STREQ("Cannot set property while connected", withoutCode.what());
  EXPECT_EQ(-1, withoutCode.SystemErrorCode());
  EXPECT_EQ("ClearCommError function failed", ComPortErrorText(10));
  EXPECT_EQ("Registry error", ComPortErrorText(23));
  EXPECT_EQ("", ComPortErrorText(24));
  EXPECT_EQ("", ComPortErrorText(0));
}

TEST(ComPortSettings, EventSetsMapToTheDriversMaskBits) {
  EXPECT_EQ(static_cast<DWORD>(EV_RXCHAR | EV_BREAK), EventsToMask({evRxChar, evBreak}));
  EXPECT_EQ(static_cast<DWORD>(EV_ERR | EV_RX80FULL), EventsToMask({evError, evRx80Full}));
  EXPECT_EQ(TComEvents({evRLSD, evCTS}), MaskToEvents(EV_RLSD | EV_CTS));
  // Bits outside the ten known events are not read.
  EXPECT_EQ(TComEvents({evRxChar}), MaskToEvents(EV_RXCHAR | 0x800 | 0x1000));
  EXPECT_EQ(kAllComEvents, MaskToEvents(0x5FF));
}

std::string TempIniPath() {
  char dir[MAX_PATH], path[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  GetTempFileNameA(dir, "ra3", 0, path);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ComPortSettings, ExportWritesOnlyTheChosenGroupsAndLoadsThemBack) {
  const std::string ini = TempIniPath();
  TComPort source;
  source.SetName("Reader");
  source.SetPort("COM7");
  source.SetCustomBaudRate(28800);
  source.SetBaudRate(brCustom);
  source.SetStopBits(sbOne5StopBits);
  source.Buffer().SetInputSize(4096);
  source.SaveToIniFile(ini);  // basic group only
  std::string text = ReadFile(ini);
  EXPECT_NE(std::string::npos, text.find("[Reader]"));
  EXPECT_NE(std::string::npos, text.find("BaudRate=Custom"));
  EXPECT_NE(std::string::npos, text.find("CustomBaudRate=28800"));
  EXPECT_NE(std::string::npos, text.find("StopBits=1.5"));
  EXPECT_NE(std::string::npos, text.find("FlowControl=None"));
  EXPECT_EQ(std::string::npos, text.find("Buffer.InputSize"));

  source.SetStoredProps(TStoredProps::FromBits(0x3F));
  source.FlowControl().SetFlowControl(fcSoftware);
  source.FlowControl().SetControlDTR(dtrHandshake);
  source.FlowControl().SetXoffChar(' ');
  source.Parity().SetBits(prSpace);
  source.Parity().SetReplace(true);
  source.Parity().SetReplaceChar('Z');
  source.SetEventChar('\r');
  source.SetDiscardNull(true);
  source.Timeouts().SetReadTotalConstant(250);
  source.SaveToIniFile(ini);
  text = ReadFile(ini);
  EXPECT_NE(std::string::npos, text.find("FlowControl.ControlDTR=Handshake"));
  EXPECT_NE(std::string::npos, text.find("FlowControl.XoffChar=#32"));
  EXPECT_NE(std::string::npos, text.find("FlowControl.XonChar=#17"));
  EXPECT_NE(std::string::npos, text.find("Parity.ReplaceChar=Z"));
  EXPECT_NE(std::string::npos, text.find("EventChar=#13"));
  EXPECT_NE(std::string::npos, text.find("DiscardNull=Yes"));

  TComPort target;
  target.SetName("Reader");
  target.SetStoredProps(TStoredProps::FromBits(0x3F));
  target.LoadFromIniFile(ini);
  EXPECT_EQ("COM7", target.Port());
  EXPECT_EQ(brCustom, target.BaudRate());
  EXPECT_EQ(28800, target.CustomBaudRate());
  EXPECT_EQ(sbOne5StopBits, target.StopBits());
  EXPECT_EQ(fcSoftware, target.FlowControl().FlowControl());
  EXPECT_EQ(dtrHandshake, target.FlowControl().ControlDTR());
  EXPECT_EQ(' ', target.FlowControl().XoffChar());
  EXPECT_EQ(prSpace, target.Parity().Bits());
  EXPECT_TRUE(target.Parity().Replace());
  EXPECT_EQ('Z', target.Parity().ReplaceChar());
  EXPECT_EQ('\r', target.EventChar());
  EXPECT_TRUE(target.DiscardNull());
  EXPECT_EQ(4096, target.Buffer().InputSize());
  EXPECT_EQ(250, target.Timeouts().ReadTotalConstant());
  DeleteFileA(ini.c_str());
}

TEST(ComPortSettings, LoadingUnknownTextsGivesTheFallbacksAndMissingKeysKeepValues) {
  const std::string ini = TempIniPath();
  std::ofstream(ini) << "[P]\nBaudRate=fast\nStopBits=3\nParity=odd\nFlowControl=maybe\n"
                        "DiscardNull=yES\nEventChar=#x1\nParity.ReplaceChar=\n"
                        "FlowControl.XonChar=#\nFlowControl.ControlRTS=toggle\n";
  TComPort port;
  port.SetName("P");
  port.SetStoredProps(TStoredProps::FromBits(0x3F));
  port.SetBaudRate(br57600);
  port.SetDataBits(dbSix);
  port.Parity().SetReplaceChar('Q');
  port.Timeouts().SetReadInterval(5);
  port.LoadFromIniFile(ini);
  EXPECT_EQ(br9600, port.BaudRate());
  EXPECT_EQ(sbOneStopBit, port.StopBits());
  EXPECT_EQ(prOdd, port.Parity().Bits());  // any case matches
  EXPECT_EQ(dbSix, port.DataBits());       // missing: kept
  EXPECT_EQ(5, port.Timeouts().ReadInterval());
  EXPECT_TRUE(port.DiscardNull());
  EXPECT_EQ(0, port.EventChar());  // "#" and no number
  EXPECT_EQ(0, port.Parity().ReplaceChar());
  EXPECT_EQ('#', port.FlowControl().XonChar());  // "#" alone is the character itself
  EXPECT_EQ(rtsToggle, port.FlowControl().ControlRTS());
  EXPECT_EQ(fcCustom, port.FlowControl().FlowControl());
  DeleteFileA(ini.c_str());
}

TEST(ComPortSettings, RegistryExportRoundTrips) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\RA03V-Test\\ComPort", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  TComPort source;
  source.SetStoredProps({spBasic, spBuffer});
  source.SetPort("COM4");
  source.SetBaudRate(br115200);
  source.Buffer().SetOutputSize(2048);
  source.SaveToRegistry(key);
  TComPort target;
  target.SetStoredProps({spBasic, spBuffer});
  target.LoadFromRegistry(key);
  EXPECT_EQ("COM4", target.Port());
  EXPECT_EQ(br115200, target.BaudRate());
  EXPECT_EQ(2048, target.Buffer().OutputSize());
  RegCloseKey(key);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\RA03V-Test");
}

}  // namespace
}  // namespace ra03v
