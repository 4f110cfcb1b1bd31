#pragma once
// Handle count and private memory of the running process. Wine 8 leaves two
// of the documented figures at 0 (GetProcessHandleCount, and PrivateUsage of
// GetProcessMemoryInfo), so each comes with a second reading that Wine does
// fill: this process's entries in the system handle table, and the commit
// charge (PagefileUsage, the same figure as PrivateUsage on Windows).
#include <windows.h>

#include <cstddef>

namespace ra03v::bench {

struct ProcessFigures {
  DWORD handleCount = 0;        // GetProcessHandleCount
  long long tableHandles = -1;  // entries of this process in the system table; -1 if unreadable
  size_t privateUsage = 0;      // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage
  size_t commitCharge = 0;      // PROCESS_MEMORY_COUNTERS_EX.PagefileUsage
};

ProcessFigures MeasureProcess();

}  // namespace ra03v::bench
