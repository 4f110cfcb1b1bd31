#pragma once
// Timing helpers shared by the benchmark programs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace ra03v::bench {

// The best wall time of rounds runs of f, in milliseconds.
template <typename F>
double BestMs(int rounds, F f) {
  double best = 1e300;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (ms < best) best = ms;
  }
  return best;
}

inline double FileTimeMs(FILETIME f) {
  return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10000.0;
}

// CPU time (kernel + user) of the calling thread, in milliseconds.
inline double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  return FileTimeMs(kernel) + FileTimeMs(user);
}

// CPU time (kernel + user) of the whole process, in milliseconds.
inline double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return FileTimeMs(kernel) + FileTimeMs(user);
}

// The nearest-rank percentile (0 < p <= 100) of values; 0 when there are none.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// The system's real-time clock in ns since the Unix epoch, to the tick of the
// precise call; under Wine it reads Linux's CLOCK_REALTIME, so native programs
// beside it stamp on the same clock. Looked up at run time: the project's
// headers target Windows 7, which lacks the call. -1 when it is missing.
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

}  // namespace ra03v::bench
