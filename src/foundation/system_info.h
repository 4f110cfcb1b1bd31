#pragma once
// Small system operations: functions looked up by name, session number,
// computer name, this module's path, the OS family and identifiers.
#include <windows.h>

#include <string>
#include <string_view>

namespace ra03v {

// This module (the DLL, or the program it is linked into).
HMODULE ThisModule() noexcept;

// Looks up function in library (loading it when not loaded yet; never unloaded)
// unless *address is already set. Throws "Library not found: ..." or
// "Function not found: <library>.<function>".
void LoadProc(FARPROC* address, const char* library, const char* function);

// The process's terminal-services session; 9999 when it cannot be obtained.
DWORD SessionNumber() noexcept;
std::string ComputerName();
// Full path of this module's file.
std::string ModulePath();
// Full path of the host program's file.
std::string HostProgramPath();
bool IsWindowsNT() noexcept;

// 38 characters: braces, 8-4-4-4-12 upper-case hexadecimal digits.
std::string GuidToText(const GUID& id);
GUID NewGuid();
// Empty text gives the null identifier; anything but the braced form throws
// "Значение не является идентификатором объекта.".
GUID TextToGuid(std::string_view text);
// Converts only a text value; false for any other kind or on failure.
bool ValueToGuid(const VARIANT& value, GUID& id) noexcept;
bool SameGuid(const GUID& a, const GUID& b) noexcept;

}  // namespace ra03v
