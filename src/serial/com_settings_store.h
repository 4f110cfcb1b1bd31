#pragma once
// Where the port's save and load operations put their named values: an ini
// file section or an open registry key.
#include <windows.h>

#include <cstdint>
#include <string>

namespace ra03v {

class TComSettingsStore {
 public:
  virtual ~TComSettingsStore() = default;
  virtual void WriteString(const std::string& key, const std::string& value) = 0;
  virtual void WriteInteger(const std::string& key, int32_t value) = 0;
  // False when the key is missing; value is then unchanged.
  virtual bool ReadString(const std::string& key, std::string& value) = 0;
  virtual bool ReadInteger(const std::string& key, int32_t& value) = 0;
};

// One section of an ini file (Windows-1251 names and values).
class TIniSettingsStore : public TComSettingsStore {
 public:
  TIniSettingsStore(std::string fileName, std::string section)
      : fileName_(std::move(fileName)), section_(std::move(section)) {}
  void WriteString(const std::string& key, const std::string& value) override;
  void WriteInteger(const std::string& key, int32_t value) override;
  bool ReadString(const std::string& key, std::string& value) override;
  bool ReadInteger(const std::string& key, int32_t& value) override;

 private:
  std::string fileName_;
  std::string section_;
};

// Values of an open registry key (the caller keeps the key): texts as REG_SZ,
// numbers as REG_DWORD.
class TRegistrySettingsStore : public TComSettingsStore {
 public:
  explicit TRegistrySettingsStore(HKEY key) noexcept : key_(key) {}
  void WriteString(const std::string& key, const std::string& value) override;
  void WriteInteger(const std::string& key, int32_t value) override;
  bool ReadString(const std::string& key, std::string& value) override;
  bool ReadInteger(const std::string& key, int32_t& value) override;

 private:
  HKEY key_;
};

}  // namespace ra03v
