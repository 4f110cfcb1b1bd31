// The port's named-value export: which keys each group writes, and how the
// enumerations, booleans and characters become text and back.
#include <cstdlib>
#include <span>

#include "serial/com_port.h"
#include "serial/com_settings_store.h"

namespace ra03v {
namespace {

constexpr const char* kBaudNames[] = {"Custom", "110",    "300",    "600",   "1200",  "2400",
                                      "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                      "57600",  "115200", "128000", "256000"};
constexpr const char* kStopNames[] = {"1", "1.5", "2"};
constexpr const char* kDataNames[] = {"5", "6", "7", "8"};
constexpr const char* kParityNames[] = {"None", "Odd", "Even", "Mark", "Space"};
constexpr const char* kFlowNames[] = {"Hardware", "Software", "None", "Custom"};
constexpr const char* kDtrNames[] = {"Disable", "Enable", "Handshake"};
constexpr const char* kRtsNames[] = {"Disable", "Enable", "Handshake", "Toggle"};

bool SameText(const std::string& a, const char* b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b, -1) == CSTR_EQUAL;
}

// The ordinal whose name matches text (any case), or fallback.
unsigned FromName(const std::string& text, std::span<const char* const> names, unsigned fallback) {
  for (size_t i = 0; i < names.size(); ++i)
    if (SameText(text, names[i])) return static_cast<unsigned>(i);
  return fallback;
}

std::string BoolText(bool value) { return value ? "Yes" : "No"; }

std::string CharText(char c) {
  const unsigned code = static_cast<unsigned char>(c);
  if (code >= 33 && code <= 127) return std::string(1, c);
  std::string text(1, '#');
  text += std::to_string(code);
  return text;
}

char CharFromText(const std::string& text) {
  if (text.empty()) return 0;
  if (text[0] == '#' && text.size() > 1) {
    char* end = nullptr;
    const long code = std::strtol(text.c_str() + 1, &end, 10);
    return *end == '\0' ? static_cast<char>(code) : 0;
  }
  return text[0];
}

// Reads a key through the store; a missing key leaves the setting alone.
class Reader {
 public:
  explicit Reader(TComSettingsStore& store) : store_(store) {}
  template <typename F>
  void Text(const char* key, F apply) {
    std::string value;
    if (store_.ReadString(key, value)) apply(value);
  }
  template <typename F>
  void Integer(const char* key, F apply) {
    int32_t value = 0;
    if (store_.ReadInteger(key, value)) apply(value);
  }
  template <typename F>
  void Bool(const char* key, F apply) {
    Text(key, [&](const std::string& v) { apply(SameText(v, "YES")); });
  }
  template <typename F>
  void Char(const char* key, F apply) {
    Text(key, [&](const std::string& v) { apply(CharFromText(v)); });
  }

 private:
  TComSettingsStore& store_;
};

}  // namespace

void TCustomComPort::SaveSettings(TComSettingsStore& store) const {
  if (storedProps_.Has(spBasic)) {
    store.WriteString("Port", port_);
    store.WriteString("BaudRate", kBaudNames[baudRate_]);
    if (baudRate_ == brCustom) store.WriteInteger("CustomBaudRate", customBaudRate_);
    store.WriteString("StopBits", kStopNames[stopBits_]);
    store.WriteString("DataBits", kDataNames[dataBits_]);
    store.WriteString("Parity", kParityNames[parity_.Bits()]);
    store.WriteString("FlowControl", kFlowNames[flowControl_.FlowControl()]);
  }
  if (storedProps_.Has(spOthers)) {
    store.WriteString("EventChar", CharText(eventChar_));
    store.WriteString("DiscardNull", BoolText(discardNull_));
  }
  if (storedProps_.Has(spParity)) {
    store.WriteString("Parity.Check", BoolText(parity_.Check()));
    store.WriteString("Parity.Replace", BoolText(parity_.Replace()));
    store.WriteString("Parity.ReplaceChar", CharText(parity_.ReplaceChar()));
  }
  if (storedProps_.Has(spBuffer)) {
    store.WriteInteger("Buffer.OutputSize", buffer_.OutputSize());
    store.WriteInteger("Buffer.InputSize", buffer_.InputSize());
  }
  if (storedProps_.Has(spTimeouts)) {
    store.WriteInteger("Timeouts.ReadInterval", timeouts_.ReadInterval());
    store.WriteInteger("Timeouts.ReadTotalConstant", timeouts_.ReadTotalConstant());
    store.WriteInteger("Timeouts.ReadTotalMultiplier", timeouts_.ReadTotalMultiplier());
    store.WriteInteger("Timeouts.WriteTotalConstant", timeouts_.WriteTotalConstant());
    store.WriteInteger("Timeouts.WriteTotalMultiplier", timeouts_.WriteTotalMultiplier());
  }
  if (storedProps_.Has(spFlowControl)) {
    store.WriteString("FlowControl.ControlRTS", kRtsNames[flowControl_.ControlRTS()]);
    store.WriteString("FlowControl.ControlDTR", kDtrNames[flowControl_.ControlDTR()]);
    store.WriteString("FlowControl.DSRSensitivity", BoolText(flowControl_.DSRSensitivity()));
    store.WriteString("FlowControl.OutCTSFlow", BoolText(flowControl_.OutCTSFlow()));
    store.WriteString("FlowControl.OutDSRFlow", BoolText(flowControl_.OutDSRFlow()));
    store.WriteString("FlowControl.TxContinueOnXoff", BoolText(flowControl_.TxContinueOnXoff()));
    store.WriteString("FlowControl.XonXoffIn", BoolText(flowControl_.XonXoffIn()));
    store.WriteString("FlowControl.XonXoffOut", BoolText(flowControl_.XonXoffOut()));
    store.WriteString("FlowControl.XoffChar", CharText(flowControl_.XoffChar()));
    store.WriteString("FlowControl.XonChar", CharText(flowControl_.XonChar()));
  }
}

void TCustomComPort::LoadSettings(TComSettingsStore& store) {
  Reader r(store);
  if (storedProps_.Has(spBasic)) {
    r.Text("Port", [&](const std::string& v) { SetPort(v); });
    r.Text("BaudRate", [&](const std::string& v) {
      const auto rate = static_cast<TBaudRate>(FromName(v, kBaudNames, br9600));
      if (rate == brCustom) {
        int32_t custom = 9600;
        store.ReadInteger("CustomBaudRate", custom);
        SetCustomBaudRate(custom);
      }
      SetBaudRate(rate);
    });
    r.Text("StopBits", [&](const std::string& v) {
      SetStopBits(static_cast<TStopBits>(FromName(v, kStopNames, sbOneStopBit)));
    });
    r.Text("DataBits", [&](const std::string& v) {
      SetDataBits(static_cast<TDataBits>(FromName(v, kDataNames, dbEight)));
    });
    r.Text("Parity", [&](const std::string& v) {
      parity_.SetBits(static_cast<TParityBits>(FromName(v, kParityNames, prNone)));
    });
    r.Text("FlowControl", [&](const std::string& v) {
      flowControl_.SetFlowControl(static_cast<TFlowControl>(FromName(v, kFlowNames, fcCustom)));
    });
  }
  if (storedProps_.Has(spOthers)) {
    r.Char("EventChar", [&](char c) { SetEventChar(c); });
    r.Bool("DiscardNull", [&](bool b) { SetDiscardNull(b); });
  }
  if (storedProps_.Has(spParity)) {
    r.Bool("Parity.Check", [&](bool b) { parity_.SetCheck(b); });
    r.Bool("Parity.Replace", [&](bool b) { parity_.SetReplace(b); });
    r.Char("Parity.ReplaceChar", [&](char c) { parity_.SetReplaceChar(c); });
  }
  if (storedProps_.Has(spBuffer)) {
    r.Integer("Buffer.OutputSize", [&](int32_t v) { buffer_.SetOutputSize(v); });
    r.Integer("Buffer.InputSize", [&](int32_t v) { buffer_.SetInputSize(v); });
  }
  if (storedProps_.Has(spTimeouts)) {
    r.Integer("Timeouts.ReadInterval", [&](int32_t v) { timeouts_.SetReadInterval(v); });
    r.Integer("Timeouts.ReadTotalConstant", [&](int32_t v) { timeouts_.SetReadTotalConstant(v); });
    r.Integer("Timeouts.ReadTotalMultiplier",
              [&](int32_t v) { timeouts_.SetReadTotalMultiplier(v); });
    r.Integer("Timeouts.WriteTotalConstant",
              [&](int32_t v) { timeouts_.SetWriteTotalConstant(v); });
    r.Integer("Timeouts.WriteTotalMultiplier",
              [&](int32_t v) { timeouts_.SetWriteTotalMultiplier(v); });
  }
  if (storedProps_.Has(spFlowControl)) {
    r.Text("FlowControl.ControlRTS", [&](const std::string& v) {
      flowControl_.SetControlRTS(static_cast<TRTSFlowControl>(FromName(v, kRtsNames, rtsDisable)));
    });
    r.Text("FlowControl.ControlDTR", [&](const std::string& v) {
      flowControl_.SetControlDTR(static_cast<TDTRFlowControl>(FromName(v, kDtrNames, dtrDisable)));
    });
    r.Bool("FlowControl.DSRSensitivity", [&](bool b) { flowControl_.SetDSRSensitivity(b); });
    r.Bool("FlowControl.OutCTSFlow", [&](bool b) { flowControl_.SetOutCTSFlow(b); });
    r.Bool("FlowControl.OutDSRFlow", [&](bool b) { flowControl_.SetOutDSRFlow(b); });
    r.Bool("FlowControl.TxContinueOnXoff", [&](bool b) { flowControl_.SetTxContinueOnXoff(b); });
    r.Bool("FlowControl.XonXoffIn", [&](bool b) { flowControl_.SetXonXoffIn(b); });
    r.Bool("FlowControl.XonXoffOut", [&](bool b) { flowControl_.SetXonXoffOut(b); });
    r.Char("FlowControl.XoffChar", [&](char c) { flowControl_.SetXoffChar(c); });
    r.Char("FlowControl.XonChar", [&](char c) { flowControl_.SetXonChar(c); });
  }
}

void TCustomComPort::SaveToRegistry(HKEY key) const {
  TRegistrySettingsStore store(key);
  SaveSettings(store);
}

void TCustomComPort::SaveToIniFile(const std::string& fileName) const {
  TIniSettingsStore store(fileName, name_);
  SaveSettings(store);
}

void TCustomComPort::LoadFromRegistry(HKEY key) {
  TRegistrySettingsStore store(key);
  LoadSettings(store);
}

void TCustomComPort::LoadFromIniFile(const std::string& fileName) {
  TIniSettingsStore store(fileName, name_);
  LoadSettings(store);
}

}  // namespace ra03v
