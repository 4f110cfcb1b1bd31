// The connection settings dialog, driven as a user would drive it: entries
// picked, texts typed, buttons pressed; then the record and the controls checked.
#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "ui/port_pictures.h"

namespace ra03v::test {
namespace {

bool SameRecord(const TComPortSennings& a, const TComPortSennings& b) {
  return a.portIndex == b.portIndex && a.baudIndex == b.baudIndex &&
         a.dataBitsIndex == b.dataBitsIndex && a.stopBitsIndex == b.stopBitsIndex &&
         a.parity == b.parity && a.useEventWord == b.useEventWord && a.rs485Mode == b.rs485Mode &&
         a.baseAddress == b.baseAddress && a.inputBufferSize == b.inputBufferSize &&
         a.outputBufferSize == b.outputBufferSize && a.bufferFull == b.bufferFull &&
         a.bufferResume == b.bufferResume && a.reserved1 == b.reserved1 &&
         a.reserved2 == b.reserved2 && a.softwareFlowMode == b.softwareFlowMode &&
         a.xonChar == b.xonChar && a.xoffChar == b.xoffChar &&
         a.deviceIdentifier == b.deviceIdentifier && a.keepOpen == b.keepOpen &&
         a.networkPrinterName == b.networkPrinterName && a.flowControl == b.flowControl &&
         a.dtrControl == b.dtrControl && a.rtsControl == b.rtsControl &&
         a.writeTimeoutSeconds == b.writeTimeoutSeconds;
}

constexpr int kLineParameterControls[] = {
    IDC_LABEL3, IDC_LABEL5,     IDC_LABEL6,     IDC_LABEL4,     IDC_LABEL7,
    IDC_LABEL8, IDC_CBBAUDRATE, IDC_CBDATABITS, IDC_CBSTOPBITS, IDC_CBPARITY};
constexpr int kFlowControls[] = {IDC_LBFLOWCONTROL, IDC_LBCONTROLDTR, IDC_LBCONTROLRTS,
                                 IDC_CBFLOWCONTROL, IDC_CBCONTROLDTR, IDC_CBCONTROLRTS,
                                 IDC_LBSFOPTIONS,   IDC_LBXON,        IDC_LBXOFF,
                                 IDC_CBSFOPTIONS,   IDC_EDXON,        IDC_EDXOFF};
constexpr int kNetworkPrinterEntry = 19, kLpt2Entry = 17;

class PortSettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deviceName = "Проксимити_Cчитыватель_1";
    record.deviceIdentifier = deviceName;  // the record mirrors the device's name
    record.portIndex = 2;                  // COM 3
    record.baudIndex = 3;                  // 19200
    record.keepOpen = 1;
    params.settings = &record;
    params.deviceName = &deviceName;
    params.serialPortsUsable = true;
    params.templateBaud = "9600";
    params.uniqueDeviceName = [] { return std::string("Проксимити_Cчитыватель_2"); };
  }
  int Run(const std::function<void(DialogUser&)>& user) { return RunDialogAsUser(params, user); }

  TComPortSennings record;
  std::string deviceName;
  PortSettingsDialogParams params;
};

TEST_F(PortSettingsDialogTest, CreationShowsTheFormWithTheRecordAndTheExtraGroupRemoved) {
  record.parity = 2;
  record.xonChar = 5;
  record.writeTimeoutSeconds = 30;
  record.networkPrinterName = "Принтер";
  const int result = Run([](DialogUser& user) {
    wchar_t caption[64] = {};
    GetWindowTextW(user.Dialog(), caption, 64);
    EXPECT_STREQ(caption, L"Свойства подключения");
    // The template's client area less the extra group and a 12-pixel margin.
    const RECT full = user.TemplatePixels(260, 267);
    EXPECT_EQ(user.ClientSize().cx, full.right);
    EXPECT_EQ(user.ClientSize().cy, full.bottom - user.Height(IDC_GBEX) - 12);
    EXPECT_FALSE(user.Visible(IDC_GBEX));
    EXPECT_FALSE(user.Visible(IDC_CBFLOWCONTROL));
    EXPECT_FALSE(user.Visible(IDC_EDTIMEOUTWRITE));
    EXPECT_EQ(user.Focus(), user.Control(IDCANCEL));
    EXPECT_EQ(user.Text(IDC_LABEL1), L"Идентификатор устройства:");
    EXPECT_EQ(user.Text(IDC_GROUPBOX1), L" Параметры ");
    EXPECT_EQ(user.Text(IDC_CBPORTOPEN), L"Блокировать");
    EXPECT_EQ(user.Text(IDC_BTNDEFAULT), L"По умолчанию");
    EXPECT_EQ(user.Text(IDCANCEL), L"Отмена");

    ASSERT_EQ(user.Count(IDC_CBPORT), 20);
    EXPECT_EQ(user.EntryText(IDC_CBPORT, 0), L"COM 1");
    EXPECT_EQ(user.EntryText(IDC_CBPORT, 15), L"COM 16");
    EXPECT_EQ(user.EntryText(IDC_CBPORT, 16), L"LPT 1");
    EXPECT_EQ(user.EntryText(IDC_CBPORT, 18), L"LPT 3");
    EXPECT_EQ(user.EntryText(IDC_CBPORT, 19), L"Сетевой принтер");
    // Without the port test every entry keeps the picture it was filled with.
    for (int i = 0; i < 20; ++i) EXPECT_EQ(user.Picture(i), kPictureKindUnusable) << i;
    EXPECT_EQ(SendMessageW(user.Control(IDC_CBPORT), CB_GETITEMHEIGHT, 0, 0), 15);
    ASSERT_EQ(user.Count(IDC_CBBAUDRATE), 10);
    EXPECT_EQ(user.EntryText(IDC_CBBAUDRATE, 0), L"115200");
    EXPECT_EQ(user.EntryText(IDC_CBBAUDRATE, 9), L"28800");
    EXPECT_EQ(user.EntryText(IDC_CBDATABITS, 3), L"5");
    EXPECT_EQ(user.EntryText(IDC_CBSTOPBITS, 0), L"2");
    EXPECT_EQ(user.EntryText(IDC_CBPARITY, 4), L"Пробел (Space)");
    EXPECT_EQ(user.EntryText(IDC_CBSFOPTIONS, 3), L"Прием/Передача (Both)");
    EXPECT_EQ(user.EntryText(IDC_CBCONTROLRTS, 3), L"Toggle");

    EXPECT_EQ(user.Position(IDC_CBPORT), 2);
    EXPECT_EQ(user.Position(IDC_CBBAUDRATE), 3);
    EXPECT_EQ(user.Position(IDC_CBDATABITS), 0);
    EXPECT_EQ(user.Position(IDC_CBSTOPBITS), 1);
    EXPECT_EQ(user.Position(IDC_CBPARITY), 2);
    EXPECT_EQ(user.Text(IDC_EDIDENTIF), L"Проксимити_Cчитыватель_1");
    EXPECT_TRUE(user.Checked(IDC_CBPORTOPEN));
    EXPECT_EQ(user.Text(IDC_EDNETWORKPRINTERNAME), L"Принтер");
    EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 2);  // None
    EXPECT_EQ(user.Text(IDC_EDXON), L"5");
    EXPECT_EQ(user.Text(IDC_EDXOFF), L"19");
    EXPECT_EQ(user.Text(IDC_EDTIMEOUTWRITE), L"30");
    // A COM port: line parameters shown, printer name hidden.
    for (int id : kLineParameterControls) EXPECT_TRUE(user.Visible(id)) << id;
    EXPECT_FALSE(user.Visible(IDC_EDNETWORKPRINTERNAME));
    EXPECT_FALSE(user.Visible(IDC_LABEL9));
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(result, 2);
}

TEST_F(PortSettingsDialogTest, CustomFlowWithRtsHandshakeShowsHardwareAndOkStoresIt) {
  record.flowControl = 3;  // Custom
  record.rtsControl = 2;   // Handshake
  record.softwareFlowMode = 0;
  const int result = Run([](DialogUser& user) {
    // The calculator starts with CTS flow on, so the pattern reads as Hardware.
    EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 0);
    EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 2);
    EXPECT_EQ(user.Position(IDC_CBSFOPTIONS), 0);
    user.Click(IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(record.flowControl, 0);
  EXPECT_EQ(record.rtsControl, 2);
  EXPECT_EQ(record.softwareFlowMode, 0);
}

TEST_F(PortSettingsDialogTest, FlowControlListsFollowTheLatestChoice) {
  const int result = Run([](DialogUser& user) {
    user.Select(IDC_CBFLOWCONTROL, 1);  // Software
    EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 0);
    EXPECT_EQ(user.Position(IDC_CBSFOPTIONS), 3);
    user.Select(IDC_CBCONTROLRTS, 1);  // Enable: no longer a pure pattern
    EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 3);
    EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 1);
    user.Select(IDC_CBFLOWCONTROL, 0);  // Hardware
    EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 2);
    EXPECT_EQ(user.Position(IDC_CBSFOPTIONS), 0);
    user.Select(IDC_CBSFOPTIONS, 1);  // receive only, with RTS handshake: custom
    EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 3);
    EXPECT_EQ(user.Position(IDC_CBSFOPTIONS), 1);
    user.Select(IDC_CBCONTROLDTR, 2);
    EXPECT_EQ(user.Position(IDC_CBCONTROLDTR), 2);
    user.Click(IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(record.flowControl, 3);
  EXPECT_EQ(record.rtsControl, 2);
  EXPECT_EQ(record.softwareFlowMode, 1);
  EXPECT_EQ(record.dtrControl, 2);
}

TEST_F(PortSettingsDialogTest, PortChoiceShowsTheControlsOfItsKind) {
  const int result = Run([](DialogUser& user) {
    user.Select(IDC_CBPORT, kNetworkPrinterEntry);
    for (int id : kLineParameterControls) EXPECT_FALSE(user.Visible(id)) << id;
    EXPECT_TRUE(user.Visible(IDC_EDNETWORKPRINTERNAME));
    EXPECT_TRUE(user.Visible(IDC_LABEL9));
    for (int id : kFlowControls) EXPECT_FALSE(user.Enabled(id)) << id;
    EXPECT_TRUE(user.Enabled(IDC_EDTIMEOUTWRITE));
    user.Type(IDC_EDNETWORKPRINTERNAME, L"\\\\сервер\\принтер");

    user.Select(IDC_CBPORT, kLpt2Entry);
    for (int id : kLineParameterControls) EXPECT_FALSE(user.Visible(id)) << id;
    EXPECT_FALSE(user.Visible(IDC_EDNETWORKPRINTERNAME));
    EXPECT_FALSE(user.Visible(IDC_LABEL9));
    for (int id : kFlowControls) EXPECT_FALSE(user.Enabled(id)) << id;

    user.Select(IDC_CBPORT, 4);  // COM 5
    for (int id : kLineParameterControls) EXPECT_TRUE(user.Visible(id)) << id;
    EXPECT_FALSE(user.Visible(IDC_EDNETWORKPRINTERNAME));
    for (int id : kFlowControls) EXPECT_TRUE(user.Enabled(id)) << id;
    user.Select(IDC_CBPORT, kNetworkPrinterEntry);
    user.Click(IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(record.portIndex, kNetworkPrinterEntry);
  EXPECT_EQ(record.networkPrinterName, "\\\\сервер\\принтер");
}

TEST_F(PortSettingsDialogTest, OkStoresTheControlsWithFallbacksForNonNumbers) {
  record.baudIndex = 42;  // outside the list: no selection, stored back as -1
  const int result = Run([](DialogUser& user) {
    EXPECT_EQ(user.Position(IDC_CBBAUDRATE), -1);
    user.Type(IDC_EDXON, L"");
    user.Type(IDC_EDXOFF, L"x13");
    user.Type(IDC_EDTIMEOUTWRITE, L"25");
    user.Type(IDC_EDIDENTIF, L"Касса 2");
    user.Select(IDC_CBDATABITS, 1);
    user.Select(IDC_CBSTOPBITS, 0);
    user.Select(IDC_CBPARITY, 4);
    user.Click(IDC_CBPORTOPEN);
    user.Click(IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(record.xonChar, 17);
  EXPECT_EQ(record.xoffChar, 19);
  EXPECT_EQ(record.writeTimeoutSeconds, 25);
  EXPECT_EQ(record.baudIndex, -1);
  EXPECT_EQ(record.dataBitsIndex, 1);
  EXPECT_EQ(record.stopBitsIndex, 0);
  EXPECT_EQ(record.parity, 4);
  EXPECT_EQ(record.portIndex, 2);
  EXPECT_EQ(record.keepOpen, 0);
  EXPECT_EQ(record.deviceIdentifier, "Касса 2");
  EXPECT_EQ(deviceName, "Касса 2");
}

TEST_F(PortSettingsDialogTest, CancelLeavesTheRecordAndTheNameAsTheyWere) {
  const TComPortSennings before = record;
  const int result = Run([](DialogUser& user) {
    user.Type(IDC_EDIDENTIF, L"Другое имя");
    user.Select(IDC_CBPORT, 7);
    user.Select(IDC_CBBAUDRATE, 0);
    user.Select(IDC_CBFLOWCONTROL, 1);
    user.Type(IDC_EDXON, L"3");
    user.Click(IDC_BTNDEFAULT);
    user.Click(IDCANCEL);
  });
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(SameRecord(record, before));
  EXPECT_EQ(deviceName, "Проксимити_Cчитыватель_1");
}

TEST_F(PortSettingsDialogTest, DefaultTakesTheTemplateBaudAndChangesOnlyTheControls) {
  record.portIndex = 5;
  record.dataBitsIndex = 2;
  record.parity = 3;
  record.xonChar = 1;
  record.flowControl = 0;
  record.rtsControl = 2;
  record.networkPrinterName = "Принтер";
  const TComPortSennings before = record;
  struct Case {
    const char* templateBaud;
    int position;
  };
  // 14400 is no entry of the list; a text that is no number gives 9600.
  for (const Case& c : {Case{"9600", 4}, Case{"14400", -1}, Case{"быстро", 4}, Case{"300", 8}}) {
    SCOPED_TRACE(c.templateBaud);
    params.templateBaud = c.templateBaud;
    const int position = c.position;
    const int result = Run([position](DialogUser& user) {
      user.Click(IDC_BTNDEFAULT);
      EXPECT_EQ(user.Position(IDC_CBBAUDRATE), position);
      EXPECT_EQ(user.Position(IDC_CBPORT), 0);
      EXPECT_EQ(user.Position(IDC_CBDATABITS), 0);
      EXPECT_EQ(user.Position(IDC_CBSTOPBITS), 1);
      EXPECT_EQ(user.Position(IDC_CBPARITY), 0);
      EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 2);
      EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 0);
      EXPECT_EQ(user.Text(IDC_EDXON), L"17");
      EXPECT_EQ(user.Text(IDC_EDTIMEOUTWRITE), L"10");
      EXPECT_EQ(user.Text(IDC_EDNETWORKPRINTERNAME), L"");
      EXPECT_FALSE(user.Checked(IDC_CBPORTOPEN));
      EXPECT_EQ(user.Text(IDC_EDIDENTIF), L"Проксимити_Cчитыватель_1");
      user.Click(IDCANCEL);
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(SameRecord(record, before));
  }
  // OK after Default stores what Default showed.
  params.templateBaud = "14400";
  EXPECT_EQ(Run([](DialogUser& user) {
              user.Click(IDC_BTNDEFAULT);
              user.Click(IDOK);
            }),
            1);
  EXPECT_EQ(record.baudIndex, -1);
  EXPECT_EQ(record.portIndex, 0);
  EXPECT_EQ(record.xonChar, 17);
  EXPECT_EQ(record.flowControl, 2);
  EXPECT_EQ(record.keepOpen, 0);
}

TEST_F(PortSettingsDialogTest, DefaultGivesANameOnlyWhenTheRecordHasNone) {
  deviceName.clear();
  record.deviceIdentifier.clear();
  EXPECT_EQ(Run([](DialogUser& user) {
              EXPECT_EQ(user.Text(IDC_EDIDENTIF), L"");
              user.Click(IDC_BTNDEFAULT);
              EXPECT_EQ(user.Text(IDC_EDIDENTIF), L"Проксимити_Cчитыватель_2");
              user.Click(IDOK);
            }),
            1);
  EXPECT_EQ(deviceName, "Проксимити_Cчитыватель_2");
}

TEST_F(PortSettingsDialogTest, PreparationLikeTheReaderKeepsFixedSettingsThroughDefault) {
  record.keepOpen = 0;
  record.baudIndex = 2;
  record.stopBitsIndex = 0;
  // What the reader does between creation and showing.
  params.prepare = [](TfmPortSettings2& form) {
    form.DisableFixedSettings();
    form.SetControlEnabled(IDC_CBPORT, true);
    form.SetControlEnabled(IDC_EDIDENTIF, true);
    form.SetControlEnabled(IDC_CBPORTOPEN, false);
    form.SetChecked(IDC_CBPORTOPEN, true);
  };
  EXPECT_EQ(Run([](DialogUser& user) {
              for (int id : {IDC_CBBAUDRATE, IDC_CBDATABITS, IDC_CBSTOPBITS, IDC_CBPARITY,
                             IDC_CBPORTOPEN, IDC_EDNETWORKPRINTERNAME})
                EXPECT_FALSE(user.Enabled(id)) << id;
              EXPECT_TRUE(user.Enabled(IDC_CBPORT));
              EXPECT_TRUE(user.Enabled(IDC_EDIDENTIF));
              EXPECT_TRUE(user.Checked(IDC_CBPORTOPEN));
              user.Click(IDOK);
            }),
            1);
  EXPECT_EQ(record.keepOpen, 1);

  EXPECT_EQ(Run([](DialogUser& user) {
              user.Click(IDC_BTNDEFAULT);
              // Disabled lists keep their entries; the disabled box shows the record's flag.
              EXPECT_EQ(user.Position(IDC_CBBAUDRATE), 2);
              EXPECT_EQ(user.Position(IDC_CBSTOPBITS), 0);
              EXPECT_TRUE(user.Checked(IDC_CBPORTOPEN));
              EXPECT_EQ(user.Position(IDC_CBPORT), 0);
              user.Click(IDOK);
            }),
            1);
  EXPECT_EQ(record.keepOpen, 1);
  EXPECT_EQ(record.baudIndex, 2);
  EXPECT_EQ(record.stopBitsIndex, 0);
  EXPECT_EQ(record.portIndex, 0);
}

TEST_F(PortSettingsDialogTest, ExtraSettingsGrowAndShrinkTheWindowOnlyOnAChange) {
  params.prepare = [](TfmPortSettings2& form) {
    form.ShowExtraSettings(true);
    form.ShowExtraSettings(true);
  };
  Run([](DialogUser& user) {
    EXPECT_EQ(user.ClientSize().cy, user.TemplatePixels(260, 267).bottom);
    EXPECT_TRUE(user.Visible(IDC_GBEX));
    EXPECT_TRUE(user.Visible(IDC_CBSFOPTIONS));
    EXPECT_EQ(user.Height(IDC_GBEX), user.TemplatePixels(246, 121).bottom);
    user.Click(IDCANCEL);
  });
}

TEST_F(PortSettingsDialogTest, StoredListValuesOutsideTheListsDoNotBreakTheCalculator) {
  record.dtrControl = 9;
  record.rtsControl = -1;
  record.flowControl = 17;
  record.softwareFlowMode = 2;
  const int result = Run([](DialogUser& user) {
    EXPECT_EQ(user.Position(IDC_CBCONTROLDTR), 0);
    EXPECT_EQ(user.Position(IDC_CBCONTROLRTS), 2);  // the calculator's own start
    EXPECT_EQ(user.Position(IDC_CBSFOPTIONS), 2);
    EXPECT_EQ(user.Position(IDC_CBFLOWCONTROL), 3);
    user.Click(IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(record.dtrControl, 0);
  EXPECT_EQ(record.rtsControl, 2);
  EXPECT_EQ(record.flowControl, 3);
}

TEST_F(PortSettingsDialogTest, AFailingPreparationClosesTheDialogAndReachesTheCaller) {
  params.prepare = [](TfmPortSettings2&) { throw std::runtime_error("prepare failed"); };
  const int windows = CountWindows();
  EXPECT_THROW(Run([](DialogUser&) { ADD_FAILURE() << "the dialog was shown"; }),
               std::runtime_error);
  EXPECT_EQ(CountWindows(), windows);
}

TEST_F(PortSettingsDialogTest, HundredOpenCloseCyclesLeaveNoGdiOrUserObjects) {
  auto cycle = [&](bool ok) {
    Run([ok](DialogUser& user) {
      user.Select(IDC_CBPORT, 3);
      SendMessageW(user.Control(IDC_CBPORT), CB_SHOWDROPDOWN, TRUE, 0);
      RedrawWindow(user.Dialog(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      SendMessageW(user.Control(IDC_CBPORT), CB_SHOWDROPDOWN, FALSE, 0);
      user.Click(IDC_BTNDEFAULT);
      user.Click(ok ? IDOK : IDCANCEL);
    });
  };
  cycle(true);  // the system creates its own objects once, on first use
  const int gdi = CountGdiObjects();
  const int windows = CountWindows();
  ASSERT_GT(gdi, 0) << "no way to count GDI objects here";
  for (int i = 0; i < 100; ++i) cycle(i % 2 == 0);
  EXPECT_EQ(CountGdiObjects(), gdi);
  EXPECT_EQ(CountWindows(), windows);
}

}  // namespace
}  // namespace ra03v::test
