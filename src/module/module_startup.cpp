#include "module/module_startup.h"

#include <windows.h>

#include "foundation/base_log.h"
#include "foundation/format_settings.h"
#include "foundation/trace_writer.h"
#include "host/plugin_entry.h"
#include "ui/device_settings_dialog.h"

namespace ra03v {

namespace {
// Created at load and held until unload; nothing in this library enters it.
CRITICAL_SECTION g_globalSection;
}  // namespace

void StartModule() noexcept {
  try {
    StartBaseLog();
  } catch (...) {
    // The log name is informational only; the library works without it.
  }
  SetStandardFormats();
  InitializeCriticalSection(&g_globalSection);
  InstallDeviceSettingsDialog();
  try {
    CreateDriverObject();
  } catch (...) {
    // No dispatch routine is installed: every call then ends as an error.
    InstallDispatch(nullptr);
  }
}

void StopModule(bool processEnding) noexcept {
  HoldProcessTraceThread();
  InstallDispatch(nullptr);
  FreeDriverObject(processEnding);
  DeleteCriticalSection(&g_globalSection);
  StopBaseLog();
}

}  // namespace ra03v
