#include <windows.h>

#include "module/module_startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      ra03v::StartModule();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null reserved means the process is ending rather than FreeLibrary.
      ra03v::StopModule(reserved != nullptr);
      break;
    default:
      break;
  }
  return TRUE;
}
