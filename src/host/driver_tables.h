#pragma once
// The rows of the method and property tables that a concrete driver compiles
// in, and the index bases of their groups.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ra03v {

inline constexpr int32_t kDriverMethodBase = 0;
inline constexpr int32_t kBuiltInMethodBase = 10000;
inline constexpr int32_t kDriverPropertyBase = 100000;
inline constexpr int32_t kDeviceParameterBase = 200000;
inline constexpr int32_t kPropertyTemplateBase = 300000;
inline constexpr int32_t kNotFound = -1;

// Runs a method: the task of the call (or null), exactly ParamCount arguments
// (lower bound 0; changed elements go back to the caller) and the result.
using MethodHandler = void (*)(void* task, SAFEARRAY* args, VARIANT* result);
// Reads (isSet false) or writes a property; false when the access is refused.
using PropertyHandler = bool (*)(void* task, bool isSet, VARIANT& value, const std::string& name);

struct TMethodEntry {
  std::string_view Names;  // "Russian,English" in either order
  int8_t ParamCount = 0;
  MethodHandler Handler = nullptr;
  int32_t Reserved = 1;
};

struct TPropertyEntry {
  std::string_view Name;     // Russian
  std::string_view AltName;  // English; may be empty
  std::string_view Caption;
  std::string_view TypeName;
  bool ReadOnly = false;
  std::string_view DefaultValue;
  std::string_view Description;
  PropertyHandler Handler = nullptr;
};

}  // namespace ra03v
