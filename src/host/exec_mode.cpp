#include "host/exec_mode.h"

#include <atomic>

namespace ra03v {

namespace {
// Read by every thread (the port event threads too); set once by the driver object.
std::atomic<ExecutionMode> g_mode{ExecutionMode::NotSet};
}  // namespace

ExecutionMode CurrentExecutionMode() noexcept { return g_mode.load(); }

void SetExecutionMode(ExecutionMode mode) noexcept { g_mode.store(mode); }

}  // namespace ra03v
