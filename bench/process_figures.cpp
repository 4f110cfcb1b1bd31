#include "process_figures.h"

#include "support/process_handles.h"

#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ra03v::bench {

ProcessFigures MeasureProcess() {
  ProcessFigures f;
  GetProcessHandleCount(GetCurrentProcess(), &f.handleCount);
  f.tableHandles = test::CountProcessHandles();
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof memory)) {
    f.privateUsage = memory.PrivateUsage;
    f.commitCharge = memory.PagefileUsage;
  }
  return f;
}

}  // namespace ra03v::bench
