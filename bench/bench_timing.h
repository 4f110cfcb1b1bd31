#pragma once
// Timing helpers shared by the benchmark programs.
#include <windows.h>

#include <chrono>

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

}  // namespace ra03v::bench
