#pragma once
// The reader driver: the scanner driver object over the RA-03V reader list.
#include "reader/base_dll_scanner.h"

namespace ra03v {

class TDllScanner_RA03V : public TBaseDllScanner {
 public:
  TDllScanner_RA03V();
};

}  // namespace ra03v
