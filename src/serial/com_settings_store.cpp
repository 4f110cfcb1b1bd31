#include "serial/com_settings_store.h"

#include <cstdlib>
#include <vector>

#include "serial/com_error.h"

namespace ra03v {
namespace {

constexpr char kMissing[] = "\x01missing\x01";

}  // namespace

void TIniSettingsStore::WriteString(const std::string& key, const std::string& value) {
  if (!WritePrivateProfileStringA(section_.c_str(), key.c_str(), value.c_str(), fileName_.c_str()))
    RaiseComPortLastError(CError_StoreFailed);
}

void TIniSettingsStore::WriteInteger(const std::string& key, int32_t value) {
  WriteString(key, std::to_string(value));
}

bool TIniSettingsStore::ReadString(const std::string& key, std::string& value) {
  std::vector<char> buffer(4096);
  GetPrivateProfileStringA(section_.c_str(), key.c_str(), kMissing, buffer.data(),
                           static_cast<DWORD>(buffer.size()), fileName_.c_str());
  if (std::string(buffer.data()) == kMissing) return false;
  value = buffer.data();
  return true;
}

bool TIniSettingsStore::ReadInteger(const std::string& key, int32_t& value) {
  std::string text;
  if (!ReadString(key, text)) return false;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return false;  // not a number: keep the value
  value = static_cast<int32_t>(n);
  return true;
}

void TRegistrySettingsStore::WriteString(const std::string& key, const std::string& value) {
  const LSTATUS s =
      RegSetValueExA(key_, key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  if (s != ERROR_SUCCESS) throw EComPort(CError_RegError, static_cast<int32_t>(s));
}

void TRegistrySettingsStore::WriteInteger(const std::string& key, int32_t value) {
  const DWORD v = static_cast<DWORD>(value);
  const LSTATUS s =
      RegSetValueExA(key_, key.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  if (s != ERROR_SUCCESS) throw EComPort(CError_RegError, static_cast<int32_t>(s));
}

bool TRegistrySettingsStore::ReadString(const std::string& key, std::string& value) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key_, key.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  std::vector<char> buffer(size + 1, '\0');
  if (RegQueryValueExA(key_, key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &size) != ERROR_SUCCESS)
    return false;
  value = buffer.data();
  return true;
}

bool TRegistrySettingsStore::ReadInteger(const std::string& key, int32_t& value) {
  DWORD type = 0, v = 0, size = sizeof v;
  if (RegQueryValueExA(key_, key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace ra03v
