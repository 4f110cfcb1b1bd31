#pragma once
// Load and unload of the library: the units start in link order and stop in
// reverse. Runs inside the loader lock, so nothing here creates threads, loads
// COM objects or waits.

namespace ra03v {

void StartModule() noexcept;
// processEnding: the process is exiting (other threads are already gone).
void StopModule(bool processEnding) noexcept;

// Supplied by the unit that owns the single driver object of this DLL: creates
// it and installs its dispatch routine, and frees it again.
void CreateDriverObject();
void FreeDriverObject(bool processEnding) noexcept;

}  // namespace ra03v
