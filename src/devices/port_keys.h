#pragma once
// Device properties that mirror the port settings record of a device's port
// manager, and the tables of the keys whose record field is a table position.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ra03v {

// Every port key, in the order port settings are applied from properties.
std::span<const std::string_view> PortSettingKeys() noexcept;
// The keys of the port descriptor table (ComNumber, Baud, DataBits, StopBits,
// Parity, IsOpen); names compare ignoring case.
bool IsPortTableKey(std::string_view key);

// The values of ComNumber, Baud, DataBits or StopBits, in record-position
// order; empty for any other key.
std::span<const int32_t> PortValueTable(std::string_view key);
// Position of number in the key's table; -1 when it is not there.
int32_t PortValueIndex(std::string_view key, int32_t number);
// The table entry at a record position; none for a key without a table or a
// position outside it (-1 included).
std::optional<int32_t> PortTableValue(std::string_view key, int32_t index);

// For the port table keys only: an empty value is taken from currentValue(key);
// when still empty nothing more happens; then ComNumber, Baud, DataBits and
// StopBits turn the number into its table position ("-1" when absent). Non-
// numeric text for those four throws the integer conversion error.
void NormalizePortValue(std::string_view key, std::string& value,
                        const std::function<std::string(std::string_view)>& currentValue);

}  // namespace ra03v
