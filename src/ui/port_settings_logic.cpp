// The settings dialog's algorithms: creation, the record and the controls in
// both directions, defaults, the port and flow-control lists, port marking.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <string_view>

#include "devices/number_text.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "ui/port_availability.h"
#include "ui/port_pictures.h"
#include "ui/port_settings_dialog.h"

namespace ra03v {
namespace {

constexpr int kPortEntryTextIndent = 18;
constexpr int kDefaultXOn = 17, kDefaultXOff = 19, kDefaultWriteTimeout = 10;
constexpr int kBaud9600Position = 4;

// The labels and lists of the line parameters, shown only for a COM port.
constexpr int kLineParameterControls[] = {
    IDC_LABEL3, IDC_LABEL5,     IDC_LABEL6,     IDC_LABEL4,     IDC_LABEL7,
    IDC_LABEL8, IDC_CBBAUDRATE, IDC_CBDATABITS, IDC_CBSTOPBITS, IDC_CBPARITY};
// The flow-control labels and controls, enabled only for a COM port.
constexpr int kFlowControls[] = {IDC_LBFLOWCONTROL, IDC_LBCONTROLDTR, IDC_LBCONTROLRTS,
                                 IDC_CBFLOWCONTROL, IDC_CBCONTROLDTR, IDC_CBCONTROLRTS,
                                 IDC_LBSFOPTIONS,   IDC_LBXON,        IDC_LBXOFF,
                                 IDC_CBSFOPTIONS,   IDC_EDXON,        IDC_EDXOFF};

std::wstring ResourceText(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(ThisModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// "COM %d" with the number in place of "%d".
std::wstring Numbered(UINT formatId, int number) {
  std::wstring text = ResourceText(formatId);
  const size_t at = text.find(L"%d");
  if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(number));
  return text;
}

void AddEntry(HWND list, const std::wstring& text, LPARAM data = 0) {
  const LRESULT index = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0 && data != 0) SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

void FillFromResource(HWND list, UINT firstId, int count) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) AddEntry(list, ResourceText(firstId + static_cast<UINT>(i)));
}

template <size_t N>
void FillNumbers(HWND list, const std::array<int, N>& table) {
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (int value : table) AddEntry(list, std::to_wstring(value));
}

// The integer of a template text, or nothing.
bool TemplateInteger(std::string_view text, int32_t& value) {
  try {
    value = StrToInt(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void TfmPortSettings2::Create() {
  // The calculator starts from the form's values each time.
  TComFlowControl& flow = comPortTmp_.FlowControl();
  flow.SetOutCTSFlow(true);
  flow.SetOutDSRFlow(false);
  flow.SetControlDTR(dtrDisable);
  flow.SetControlRTS(rtsHandshake);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  imageList2_ = CreatePortPictures();

  // The fixed lists of the form and their starting entries.
  FillFromResource(Control(IDC_CBPARITY), IDS_PARITY_FIRST, 5);
  FillFromResource(Control(IDC_CBFLOWCONTROL), IDS_FLOW_FIRST, 4);
  FillFromResource(Control(IDC_CBCONTROLDTR), IDS_DTR_FIRST, 3);
  FillFromResource(Control(IDC_CBCONTROLRTS), IDS_RTS_FIRST, 4);
  FillFromResource(Control(IDC_CBSFOPTIONS), IDS_SWFLOW_FIRST, 4);
  SetPosition(IDC_CBFLOWCONTROL, fcNone);
  SetPosition(IDC_CBCONTROLDTR, dtrDisable);
  SetPosition(IDC_CBCONTROLRTS, rtsDisable);
  SetPosition(IDC_CBSFOPTIONS, 0);

  FitLayout();
  ShowExtraSettings(false);
  CentreOnDesktop();
  FillLists();
  if (params_.deviceName) params_.settings->deviceIdentifier = *params_.deviceName;
  RecordToControls(*params_.settings);
  cbFlowControlChange(IDC_CBFLOWCONTROL);
  if (params_.checkPorts) MarkPortAvailability();
}

void TfmPortSettings2::FillLists() {
  HWND ports = Control(IDC_CBPORT);
  SendMessageW(ports, CB_RESETCONTENT, 0, 0);
  for (int number : kPortNumbers) {
    const std::wstring text = number < 100   ? Numbered(IDS_COM_ENTRY, number)
                              : number < 200 ? Numbered(IDS_LPT_ENTRY, number - 100)
                                             : ResourceText(IDS_NETWORK_PRINTER);
    AddEntry(ports, text, kPictureKindUnusable);
  }
  FillNumbers(Control(IDC_CBBAUDRATE), kBaudRates);
  FillNumbers(Control(IDC_CBDATABITS), kDataBits);
  FillNumbers(Control(IDC_CBSTOPBITS), kStopBits);
}

void TfmPortSettings2::RecordToControls(const TComPortSennings& record) {
  SetPosition(IDC_CBPORT, record.portIndex);
  cbPort1SelectionChange();
  SetPosition(IDC_CBBAUDRATE, record.baudIndex);
  SetPosition(IDC_CBDATABITS, record.dataBitsIndex);
  SetPosition(IDC_CBSTOPBITS, record.stopBitsIndex);
  SetPosition(IDC_CBPARITY, record.parity);
  SetText(IDC_EDIDENTIF, Text1251ToWide(record.deviceIdentifier));
  SetChecked(IDC_CBPORTOPEN, record.keepOpen != 0);
  SetText(IDC_EDNETWORKPRINTERNAME, Text1251ToWide(record.networkPrinterName));
  SetPosition(IDC_CBFLOWCONTROL, record.flowControl);
  SetPosition(IDC_CBCONTROLDTR, record.dtrControl);
  SetPosition(IDC_CBCONTROLRTS, record.rtsControl);
  SetPosition(IDC_CBSFOPTIONS, record.softwareFlowMode);
  SetText(IDC_EDXON, std::to_wstring(record.xonChar));
  SetText(IDC_EDXOFF, std::to_wstring(record.xoffChar));
  SetText(IDC_EDTIMEOUTWRITE, std::to_wstring(record.writeTimeoutSeconds));
}

void TfmPortSettings2::btnOkClick() {
  ControlsToRecord();
  EndDialog(window_, IDOK);
}

void TfmPortSettings2::ControlsToRecord() {
  TComPortSennings& record = *params_.settings;
  record.portIndex = Position(IDC_CBPORT);
  record.baudIndex = Position(IDC_CBBAUDRATE);
  record.dataBitsIndex = Position(IDC_CBDATABITS);
  record.stopBitsIndex = Position(IDC_CBSTOPBITS);
  record.parity = Position(IDC_CBPARITY);
  record.deviceIdentifier = WideTo1251(Text(IDC_EDIDENTIF));
  if (params_.deviceName) *params_.deviceName = record.deviceIdentifier;
  record.keepOpen = IsDlgButtonChecked(window_, IDC_CBPORTOPEN) == BST_CHECKED ? 1 : 0;
  record.networkPrinterName = WideTo1251(Text(IDC_EDNETWORKPRINTERNAME));
  record.flowControl = Position(IDC_CBFLOWCONTROL);
  record.dtrControl = Position(IDC_CBCONTROLDTR);
  record.rtsControl = Position(IDC_CBCONTROLRTS);
  record.softwareFlowMode = Position(IDC_CBSFOPTIONS);
  record.xonChar = StrToIntDef(WideTo1251(Text(IDC_EDXON)), kDefaultXOn);
  record.xoffChar = StrToIntDef(WideTo1251(Text(IDC_EDXOFF)), kDefaultXOff);
  record.writeTimeoutSeconds =
      StrToIntDef(WideTo1251(Text(IDC_EDTIMEOUTWRITE)), kDefaultWriteTimeout);
}

void TfmPortSettings2::LoadDefaults() {
  TComPortSennings record = *params_.settings;
  if (record.deviceIdentifier.empty() && params_.uniqueDeviceName)
    record.deviceIdentifier = params_.uniqueDeviceName();
  record.portIndex = 0;
  record.useEventWord = 1;
  record.rs485Mode = 0;
  record.baseAddress = 0;
  if (Enabled(IDC_CBBAUDRATE)) {
    int32_t baud = 0;
    record.baudIndex = TemplateInteger(params_.templateBaud, baud) ? TableIndex(kBaudRates, baud)
                                                                   : kBaud9600Position;
  } else {
    record.baudIndex = Position(IDC_CBBAUDRATE);
  }
  record.dataBitsIndex = Enabled(IDC_CBDATABITS) ? 0 : Position(IDC_CBDATABITS);
  record.stopBitsIndex = Enabled(IDC_CBSTOPBITS) ? 1 : Position(IDC_CBSTOPBITS);
  record.parity = Enabled(IDC_CBPARITY) ? 0 : Position(IDC_CBPARITY);
  record.inputBufferSize = 4096;
  record.outputBufferSize = 4096;
  record.bufferFull = 0;
  record.bufferResume = 0;
  record.reserved1 = 0;
  record.reserved2 = 0;
  record.softwareFlowMode = 0;
  record.xonChar = kDefaultXOn;
  record.xoffChar = kDefaultXOff;
  if (Enabled(IDC_CBPORTOPEN)) record.keepOpen = 0;
  record.networkPrinterName.clear();
  record.flowControl = fcNone;
  record.dtrControl = 0;
  record.rtsControl = 0;
  record.writeTimeoutSeconds = kDefaultWriteTimeout;
  RecordToControls(record);
}

void TfmPortSettings2::cbPort1SelectionChange() {
  const int position = Position(IDC_CBPORT);
  const std::wstring text = position >= 0 ? ItemText(IDC_CBPORT, position) : std::wstring();
  const bool serial = text.find(L"COM") != std::wstring::npos;
  for (int id : kLineParameterControls) ShowControl(id, serial);
  const LRESULT count = SendDlgItemMessageW(window_, IDC_CBPORT, CB_GETCOUNT, 0, 0);
  const bool networkPrinter = !serial && position >= 0 && position == count - 1;
  ShowControl(IDC_LABEL9, networkPrinter);
  ShowControl(IDC_EDNETWORKPRINTERNAME, networkPrinter);
  for (int id : kFlowControls) SetControlEnabled(id, serial);
}

void TfmPortSettings2::cbFlowControlChange(int sender) {
  TComFlowControl& flow = comPortTmp_.FlowControl();
  // A list without a selection (a stored value outside it) leaves its
  // setting as the calculator has it.
  auto applyDtr = [&] {
    const int p = Position(IDC_CBCONTROLDTR);
    if (p >= 0 && p <= static_cast<int>(kLastDTRFlowControl))
      flow.SetControlDTR(static_cast<TDTRFlowControl>(p));
  };
  auto applyRts = [&] {
    const int p = Position(IDC_CBCONTROLRTS);
    if (p >= 0 && p <= static_cast<int>(kLastRTSFlowControl))
      flow.SetControlRTS(static_cast<TRTSFlowControl>(p));
  };
  auto applySoftware = [&] {
    const int p = Position(IDC_CBSFOPTIONS);
    flow.SetXonXoffIn(p == 1 || p == 3);
    flow.SetXonXoffOut(p == 2 || p == 3);
  };
  auto applyFlow = [&] {
    const int p = Position(IDC_CBFLOWCONTROL);
    if (p >= 0 && p <= static_cast<int>(kLastFlowControl))
      flow.SetFlowControl(static_cast<TFlowControl>(p));
  };
  applyDtr();
  applyRts();
  applySoftware();
  applyFlow();
  // The user's latest choice wins.
  switch (sender) {
    case IDC_CBFLOWCONTROL:
      applyFlow();
      break;
    case IDC_CBCONTROLDTR:
      applyDtr();
      break;
    case IDC_CBCONTROLRTS:
      applyRts();
      break;
    case IDC_CBSFOPTIONS:
      applySoftware();
      break;
    default:
      break;
  }
  SetPosition(IDC_CBCONTROLDTR, flow.ControlDTR());
  SetPosition(IDC_CBCONTROLRTS, flow.ControlRTS());
  SetPosition(IDC_CBFLOWCONTROL, flow.FlowControl());
  const bool in = flow.XonXoffIn(), out = flow.XonXoffOut();
  SetPosition(IDC_CBSFOPTIONS, in && out ? 3 : in ? 1 : out ? 2 : 0);
}

void TfmPortSettings2::MarkPortAvailability() {
  HWND ports = Control(IDC_CBPORT);
  const std::wstring printerName = Text(IDC_EDNETWORKPRINTERNAME);
  const LRESULT count = SendMessageW(ports, CB_GETCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) {
    const std::wstring text = ItemText(IDC_CBPORT, i);
    if (text.empty()) continue;
    const PortEntryDevice device =
        DeviceOfPortEntry(text, params_.serialPortsUsable, params_.printerPortsUsable, printerName);
    SendMessageW(ports, CB_SETITEMDATA, static_cast<WPARAM>(i), PortEntryPicture(device));
  }
  InvalidateRect(ports, nullptr, TRUE);
}

void TfmPortSettings2::cbPort1DrawItem(const DRAWITEMSTRUCT& item) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID == static_cast<UINT>(-1)) return;
  const int picture = static_cast<int>(item.itemData);
  if (picture > 0)
    ImageList_Draw(imageList2_.Get(), picture - 1, item.hDC, area.left, area.top, ILD_TRANSPARENT);
  const std::wstring text = ItemText(IDC_CBPORT, static_cast<int>(item.itemID));
  const int colour = (item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT
                     : selected                      ? COLOR_HIGHLIGHTTEXT
                                                     : COLOR_WINDOWTEXT;
  SetTextColor(item.hDC, GetSysColor(colour));
  SetBkMode(item.hDC, TRANSPARENT);
  TextOutW(item.hDC, area.left + kPortEntryTextIndent, area.top + 1, text.c_str(),
           static_cast<int>(text.size()));
}

}  // namespace ra03v
