// The reader driver object does not exist yet: no dispatch routine is installed,
// so every call through the entry ends as error 20000.
#include "module/module_startup.h"

namespace ra03v {

void CreateDriverObject() {}
void FreeDriverObject(bool) noexcept {}

}  // namespace ra03v
