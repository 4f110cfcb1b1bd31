#pragma once
// The project's test host, pointed at DLLs that sit beside the test program.
#include <string>

#include "foundation/win/com_ptr.h"
#include "ra03v/value_array.h"
#include "test_host.h"

namespace ra03v::test {

// Full path of a file beside the running test program.
std::wstring BesideTestProgram(const std::wstring& fileName);

class DllUnderTest : public ra03v_host::Driver {
 public:
  explicit DllUnderTest(const std::wstring& fileName)
      : ra03v_host::Driver(BesideTestProgram(fileName)) {}
};

using HostBlock = ra03v_host::Block;
using HostTask = ra03v_host::Task;

// A new value array object made by the driver ("СоздатьПараметры"), or null.
ComPtr<ISafeArray> DriverValueArray(ra03v_host::Driver& dll, HostTask& task, int rows,
                                    int columns);

}  // namespace ra03v::test
