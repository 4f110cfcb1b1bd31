#pragma once
// Documents under the tests' data folder, copied beside the test program.
#include <string>

#include "foundation/win/variant.h"

namespace ra03v::test {

// The file data\<name> (UTF-8) as text.
std::wstring ReadDataFile(const std::wstring& name);
// The same as a string value, the way a host hands a document over.
Variant DataFileValue(const std::wstring& name);

}  // namespace ra03v::test
