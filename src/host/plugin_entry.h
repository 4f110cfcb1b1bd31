#pragma once
// The exported handshake and the entry that every host call goes through.
#include "host/params.h"

namespace ra03v {

// Runs one host call; the driver object installs it when it is created.
using DispatchRoutine = bool (*)(TParams& params, void* task);

void InstallDispatch(DispatchRoutine routine) noexcept;
DispatchRoutine InstalledDispatch() noexcept;

// Turns an exception in flight into the block's error fields (call inside catch).
void StoreCurrentException(TParams& params) noexcept;

}  // namespace ra03v

extern "C" {
uint32_t __stdcall Query(void);
uint8_t __stdcall PluginEntry(RA03V_PARAMS* params, void* task);
}
