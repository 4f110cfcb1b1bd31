#include "devices/port_keys.h"

#include <algorithm>

#include "devices/number_text.h"
#include "devices/text_compare.h"

namespace ra03v {

namespace {

constexpr std::string_view kSettingKeys[] = {
    "ComNumber",         "Baud",         "DataBits",    "StopBits",     "Parity",
    "UseEventWord",      "RS485Mode",    "BaseAddress", "InSize",       "OutSize",
    "BufferFull",        "BufferResume", "ControlDTR",  "ControlRTS",   "FlowControl",
    "SWFlowOptions",     "XOnChar",      "XOffChar",    "TimeOutWrite", "IsOpen",
    "NetworkPrinterName"};

constexpr std::string_view kTableKeys[] = {"ComNumber", "Baud",   "DataBits",
                                           "StopBits",  "Parity", "IsOpen"};

constexpr int32_t kComNumbers[] = {1,  2,  3,  4,  5,  6,  7,   8,   9,   10,
                                   11, 12, 13, 14, 15, 16, 101, 102, 103, 901};
constexpr int32_t kBauds[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 300, 28800};
constexpr int32_t kDataBits[] = {8, 7, 6, 5};
constexpr int32_t kStopBits[] = {2, 1};

}  // namespace

std::span<const std::string_view> PortSettingKeys() noexcept { return kSettingKeys; }

bool IsPortTableKey(std::string_view key) {
  return std::any_of(std::begin(kTableKeys), std::end(kTableKeys),
                     [key](std::string_view k) { return SameText(k, key); });
}

std::span<const int32_t> PortValueTable(std::string_view key) {
  if (SameText(key, "ComNumber")) return kComNumbers;
  if (SameText(key, "Baud")) return kBauds;
  if (SameText(key, "DataBits")) return kDataBits;
  if (SameText(key, "StopBits")) return kStopBits;
  return {};
}

int32_t PortValueIndex(std::string_view key, int32_t number) {
  const std::span<const int32_t> table = PortValueTable(key);
  const auto found = std::find(table.begin(), table.end(), number);
  return found == table.end() ? -1 : static_cast<int32_t>(found - table.begin());
}

std::optional<int32_t> PortTableValue(std::string_view key, int32_t index) {
  const std::span<const int32_t> table = PortValueTable(key);
  if (index < 0 || static_cast<size_t>(index) >= table.size()) return std::nullopt;
  return table[static_cast<size_t>(index)];
}

void NormalizePortValue(std::string_view key, std::string& value,
                        const std::function<std::string(std::string_view)>& currentValue) {
  if (!IsPortTableKey(key)) return;
  if (value.empty() && currentValue) value = currentValue(key);
  if (value.empty()) return;
  if (PortValueTable(key).empty()) return;
  value = std::to_string(PortValueIndex(key, StrToInt(value)));
}

}  // namespace ra03v
