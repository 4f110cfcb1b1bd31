#pragma once
// The language a test run was started in (RA03V_TEST_LANGUAGE: ru or en).
#include "foundation/error_codes.h"

namespace ra03v::test {

// The language the run expects; fails the test when Wine did not start in it.
MessageLanguage RunLanguage();
inline bool RussianRun() { return RunLanguage() == MessageLanguage::Russian; }

}  // namespace ra03v::test
