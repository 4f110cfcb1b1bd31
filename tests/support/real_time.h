#pragma once
// The system's real-time clock in ns since the Unix epoch, to the tick of the
// precise call; under Wine it reads Linux's CLOCK_REALTIME, so native programs
// beside it (the simulated reader) stamp on the same clock. Looked up at run
// time: the project's headers target Windows 7, which lacks the call. -1 when
// it is missing.
#include <windows.h>

namespace ra03v::test {

inline long long RealTimeNs() {
  using PreciseTime = VOID(WINAPI*)(LPFILETIME);
  static const auto precise = reinterpret_cast<PreciseTime>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  if (!precise) return -1;
  FILETIME f;
  precise(&f);
  const long long ticks = static_cast<long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
  constexpr long long kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601
  return (ticks - kUnixEpochTicks) * 100;
}

}  // namespace ra03v::test
