// The port keys of a device's properties and its port settings record.
#include <functional>

#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "devices/number_text.h"
#include "devices/port_keys.h"
#include "devices/text_compare.h"

namespace ra03v {

namespace {

// The record field of a numeric key; null for the printer name.
int32_t* IntField(TComPortSennings& s, std::string_view key) {
  struct Row {
    std::string_view key;
    int32_t TComPortSennings::*field;
  };
  static constexpr Row kRows[] = {
      {"ComNumber", &TComPortSennings::portIndex},
      {"Baud", &TComPortSennings::baudIndex},
      {"DataBits", &TComPortSennings::dataBitsIndex},
      {"StopBits", &TComPortSennings::stopBitsIndex},
      {"Parity", &TComPortSennings::parity},
      {"BaseAddress", &TComPortSennings::baseAddress},
      {"InSize", &TComPortSennings::inputBufferSize},
      {"OutSize", &TComPortSennings::outputBufferSize},
      {"BufferFull", &TComPortSennings::bufferFull},
      {"BufferResume", &TComPortSennings::bufferResume},
      {"ControlDTR", &TComPortSennings::dtrControl},
      {"ControlRTS", &TComPortSennings::rtsControl},
      {"FlowControl", &TComPortSennings::flowControl},
      {"SWFlowOptions", &TComPortSennings::softwareFlowMode},
      {"XOnChar", &TComPortSennings::xonChar},
      {"XOffChar", &TComPortSennings::xoffChar},
      {"TimeOutWrite", &TComPortSennings::writeTimeoutSeconds},
  };
  for (const Row& row : kRows)
    if (SameText(row.key, key)) return &(s.*row.field);
  return nullptr;
}

uint8_t* ByteField(TComPortSennings& s, std::string_view key) {
  if (SameText(key, "UseEventWord")) return &s.useEventWord;
  if (SameText(key, "RS485Mode")) return &s.rs485Mode;
  if (SameText(key, "IsOpen")) return &s.keepOpen;
  return nullptr;
}

// The number a record position stands for; none for -1 or any position
// outside the key's table.
std::optional<int32_t> StoredNumber(std::string_view key, int32_t value) {
  if (PortValueTable(key).empty()) return value;
  return PortTableValue(key, value);
}

}  // namespace

void TDeviceItem::ApplyPortSettings(const TNameValueList* lines) {
  TComPortSennings& record = FPortManager->Settings();
  const auto current = [this](std::string_view key) { return GetProperty(key); };
  const std::span<const std::string_view> keys = PortSettingKeys();
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string_view key = keys[i];
    std::string value = lines ? lines->Value(key) : GetProperty(key);
    if (i < 5) NormalizePortValue(key, value, current);
    if (value.empty()) continue;
    if (SameText(key, "NetworkPrinterName")) {
      record.networkPrinterName = value;
    } else if (int32_t* field = IntField(record, key)) {
      *field = StrToInt(value);
    } else if (uint8_t* byte = ByteField(record, key)) {
      *byte = static_cast<uint8_t>(StrToInt(value));
    }
  }
}

void TDeviceItem::StorePortSettings(TNameValueList* lines) {
  TComPortSennings& record = FPortManager->Settings();
  const auto put = [&](std::string_view key, const std::string& value) {
    if (lines)
      lines->Set(key, value);
    else
      SetProperty(key, value);
  };
  const auto putNumber = [&](std::string_view key) {
    int32_t value = 0;
    if (int32_t* field = IntField(record, key))
      value = *field;
    else if (uint8_t* byte = ByteField(record, key))
      value = *byte;
    // A position outside its table has no number to write: the key keeps its text.
    if (const std::optional<int32_t> number = StoredNumber(key, value))
      put(key, std::to_string(*number));
  };
  const TDevicesList& list = DeviceList();
  if (list.UsePortProps())
    for (std::string_view key : {"ComNumber", "Baud", "DataBits", "StopBits", "Parity", "IsOpen"})
      putNumber(key);
  if (list.UseFlowProps())
    for (std::string_view key : {"FlowControl", "ControlDTR", "ControlRTS", "SWFlowOptions",
                                 "XOnChar", "XOffChar", "TimeOutWrite"})
      putNumber(key);
  if (list.UsePrinterProp()) put("NetworkPrinterName", record.networkPrinterName);
}

}  // namespace ra03v
