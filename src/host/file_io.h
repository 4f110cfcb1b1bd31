#pragma once
// Whole-file reads and writes by wide name (never through the active code page).
#include <cstddef>
#include <string>

namespace ra03v {

// False when the file or its folder does not exist; other failures raise.
// Files of 2 GiB and more are refused.
bool ReadWholeFile(const std::wstring& name, std::string& bytes);
// Creates or overwrites the file.
void WriteWholeFile(const std::wstring& name, const void* data, size_t size);

}  // namespace ra03v
