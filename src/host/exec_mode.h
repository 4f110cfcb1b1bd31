#pragma once
// The process-wide execution mode: how the library is being hosted.
#include <cstdint>

namespace ra03v {

enum class ExecutionMode : uint8_t {
  NotSet = 0,
  PlugIn = 1,           // called through Query and the entry
  AutomationHost1 = 2,  // automation component, first host generation
  AutomationHost2 = 3,  // automation component, second host generation
};

ExecutionMode CurrentExecutionMode() noexcept;
void SetExecutionMode(ExecutionMode mode) noexcept;

}  // namespace ra03v
