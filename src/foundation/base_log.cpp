#include "foundation/base_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/system_info.h"
#include "foundation/win/unique_handle.h"

namespace ra03v {

namespace {

char g_logPath[kLogPathSize];  // published to later modules by address
Handle g_ownerMutex;
bool g_classRegistered = false;

void StorePath(const std::string& path) {
  std::memset(g_logPath, 0, sizeof g_logPath);
  std::memcpy(g_logPath, path.data(), std::min(path.size(), kLogPathSize - 1));
}

std::string NameFor(const std::string& filePath) {
  return LogFileName(filePath, ComputerName(), SessionNumber());
}

}  // namespace

std::string LogMutexName(DWORD processId) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06lX", static_cast<unsigned long>(processId));
  return std::string(kLogMutexPrefix) + digits;
}

std::string LogFileName(const std::string& modulePath, const std::string& computer, DWORD session) {
  const size_t slash = modulePath.find_last_of("\\/:");
  const size_t dot = modulePath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? modulePath.substr(0, dot) : modulePath;
  return stem + "_" + computer + "_" + std::to_string(session) + ".log";
}

void StartBaseLog() {
  g_ownerMutex.Reset(CreateMutexA(nullptr, TRUE, LogMutexName(GetCurrentProcessId()).c_str()));
  if (g_ownerMutex && GetLastError() == ERROR_ALREADY_EXISTS) g_ownerMutex.Reset();

  if (g_ownerMutex) {
    StorePath(NameFor(ModulePath()));
    WNDCLASSA cls{};
    cls.style = CS_GLOBALCLASS;
    cls.lpszClassName = kLogClassName;
    cls.hInstance = ThisModule();
    // The class carries no window procedure: the field publishes the buffer.
    cls.lpfnWndProc = reinterpret_cast<WNDPROC>(reinterpret_cast<void*>(g_logPath));
    // Failing here must not end the host: the module keeps its own name and
    // simply publishes nothing.
    g_classRegistered = RegisterClassA(&cls) != 0;
    return;
  }

  WNDCLASSA found{};
  if (GetClassInfoA(ThisModule(), kLogClassName, &found) && found.lpfnWndProc) {
    std::memcpy(g_logPath, reinterpret_cast<const void*>(found.lpfnWndProc), kLogPathSize);
    g_logPath[kLogPathSize - 1] = '\0';
  } else {
    StorePath(NameFor(HostProgramPath()));
  }
}

void StopBaseLog() noexcept {
  if (!g_ownerMutex) return;
  if (g_classRegistered) UnregisterClassA(kLogClassName, ThisModule());
  g_classRegistered = false;
  g_ownerMutex.Reset();
}

std::string LogPath() { return g_logPath; }

bool OwnsLog() noexcept { return static_cast<bool>(g_ownerMutex); }

}  // namespace ra03v
