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

}  // namespace ra03v::bench
