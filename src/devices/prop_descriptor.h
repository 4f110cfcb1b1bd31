#pragma once
// Property descriptor rows compiled into the driver, and the two tables that
// device lists build their property templates from.
#include <oaidl.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ra03v {

// Field widths of a descriptor row and of a property item.
inline constexpr size_t kPropIdentifierMax = 100;
inline constexpr size_t kPropNameMax = 100;
inline constexpr size_t kPropTypeMax = 10;
inline constexpr size_t kPropTextMax = 255;  // default and description

// Reads (isSet false) or writes the value of the property name for the call's task.
using TPropertyHandler = bool (*)(void* task, bool isSet, VARIANT& value, const std::string& name);

struct TPropDescriptor {
  std::string_view Identifier;
  std::string_view AltIdentifier;  // the English name of a driver property; empty for devices
  std::string_view Name;
  std::string_view Type;
  uint8_t ReadOnly = 0;
  std::string_view Default;
  std::string_view Description;
  // Null in the device tables: those rows are all served by the generic
  // device-property handler, which the driver object binds when it registers them.
  TPropertyHandler Handler = nullptr;
};

// "Использовать" and "Неразделяемое": every device list adds them.
std::span<const TPropDescriptor> CommonPropertyDescriptors() noexcept;
// ComNumber, Baud, DataBits, StopBits, Parity and IsOpen.
std::span<const TPropDescriptor> PortPropertyDescriptors() noexcept;

}  // namespace ra03v
