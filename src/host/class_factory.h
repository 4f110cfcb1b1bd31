#pragma once
// The automation framework's COM server: its name and the class factories it
// serves, kept in this process only (nothing goes to the registry).
#include <windows.h>
#include <objbase.h>

#include <string>

#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"

namespace ra03v {

class TSafeArray;

enum class Instancing { Single, Multiple };
enum class ThreadingModel { Apartment, Free };

// The server's name ("" until the first value array is created).
std::wstring ComServerName();
// The factory registered for clsid, or null.
ComPtr<IClassFactory> FindClassFactory(REFCLSID clsid);
int RegisteredFactoryCount() noexcept;

// A new value array object; the first call in the process names the server
// "AddIn" and registers the factory of the class SafeArray.
ComPtr<ISafeArray> CreateValueArray();
// The same, for the library's own use of the object.
ComPtr<TSafeArray> NewValueArrayObject();

}  // namespace ra03v
