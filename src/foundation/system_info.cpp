#include "foundation/system_info.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "foundation/win/variant.h"
#include "foundation/win/win_error.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ra03v {

namespace {

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads digits hexadecimal digits at text[at]; false when one is not a digit.
bool ReadHex(std::string_view text, size_t at, int digits, uint64_t& value) noexcept {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(text[at + i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<uint64_t>(d);
  }
  return true;
}

}  // namespace

HMODULE ThisModule() noexcept { return reinterpret_cast<HMODULE>(&__ImageBase); }

void LoadProc(FARPROC* address, const char* library, const char* function) {
  if (*address) return;
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadLibraryA(library);
  if (!module) throw std::runtime_error(std::string("Library not found: ") + library);
  FARPROC proc = GetProcAddress(module, function);
  if (!proc)
    throw std::runtime_error(std::string("Function not found: ") + library + "." + function);
  *address = proc;
}

DWORD SessionNumber() noexcept {
  try {
    FARPROC proc = nullptr;
    LoadProc(&proc, "kernel32.dll", "ProcessIdToSessionId");
    using Fn = BOOL(WINAPI*)(DWORD, DWORD*);
    DWORD session = 0;
    if (reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))(GetCurrentProcessId(), &session))
      return session;
  } catch (...) {
  }
  return 9999;
}

std::string ComputerName() {
  char buffer[261] = {};
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return {};
  return std::string(buffer, size);
}

std::string ModulePath() {
  char buffer[MAX_PATH + 2] = {};
  const DWORD length = GetModuleFileNameA(ThisModule(), buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::string HostProgramPath() {
  char buffer[MAX_PATH + 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

bool IsWindowsNT() noexcept {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string GuidToText(const GUID& id) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return buffer;
}

GUID NewGuid() {
  GUID id{};
  CheckHResult(CoCreateGuid(&id), "CoCreateGuid");
  return id;
}

GUID TextToGuid(std::string_view text) {
  GUID id{};
  if (text.empty()) return id;
  auto fail = [] { throw std::runtime_error("Значение не является идентификатором объекта."); };
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    fail();
  uint64_t v = 0;
  if (!ReadHex(text, 1, 8, v)) fail();
  id.Data1 = static_cast<unsigned long>(v);
  if (!ReadHex(text, 10, 4, v)) fail();
  id.Data2 = static_cast<unsigned short>(v);
  if (!ReadHex(text, 15, 4, v)) fail();
  id.Data3 = static_cast<unsigned short>(v);
  static constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteAt[i], 2, v)) fail();
    id.Data4[i] = static_cast<unsigned char>(v);
  }
  return id;
}

bool ValueToGuid(const VARIANT& value, GUID& id) noexcept {
  try {
    if ((V_VT(&value) & VT_TYPEMASK) != VT_BSTR) return false;
    id = TextToGuid(Variant::Copy(value).To1251());
    return true;
  } catch (...) {
    return false;
  }
}

bool SameGuid(const GUID& a, const GUID& b) noexcept { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace ra03v
