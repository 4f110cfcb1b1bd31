#pragma once
// Handles this process holds, as the system's handle table lists them. Wine 8
// answers GetProcessHandleCount with 0 whatever the process holds, so a
// handle-growth check built on it could never fail there.

namespace ra03v::test {

// -1 when the system does not give out its handle table.
long long CountProcessHandles();

// Whether CountProcessHandles sees a handle opened and closed again: a
// growth check is only worth something when this holds.
bool HandleCountingWorks();

}  // namespace ra03v::test
