#pragma once
// The process-wide log file name: chosen once per process by the first module
// of this kind, published through a global window class, read by later ones.
// No log line is written by this library.
#include <windows.h>

#include <string>

namespace ra03v {

inline constexpr char kLogMutexPrefix[] = "_com.velta.baselog.host_";
inline constexpr char kLogClassName[] = "_com.velta.baselog.dataclass";
inline constexpr size_t kLogPathSize = 261;

// "<prefix><process id as upper-case hex, at least 6 digits>".
std::string LogMutexName(DWORD processId);
// "<path without extension>_<computer>_<session>.log".
std::string LogFileName(const std::string& modulePath, const std::string& computer, DWORD session);

// Run at module load and unload.
void StartBaseLog();
void StopBaseLog() noexcept;

// The log file name this module settled on.
std::string LogPath();
// Whether this module created the mutex and registered the class.
bool OwnsLog() noexcept;

}  // namespace ra03v
