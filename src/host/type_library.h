#pragma once
// The type library "exAddIn" embedded in this module as resource TYPELIB 1.
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "foundation/win/com_ptr.h"

namespace ra03v {

// Full path of the module this code is linked into (the driver DLL or a test program).
std::wstring OwnModulePath();
// Loads the library from this module's resources without registering anything.
HRESULT LoadOwnTypeLibrary(ComPtr<ITypeLib>& library) noexcept;

}  // namespace ra03v
