#include "support/test_language.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace ra03v::test {

MessageLanguage RunLanguage() {
  const char* wanted = std::getenv("RA03V_TEST_LANGUAGE");
  const bool russian = wanted && std::string(wanted) == "ru";
  const LANGID lang = GetUserDefaultLangID();
  EXPECT_EQ(russian ? 0x19 : 0x09, lang & 0xFF) << "Wine started in another language";
  return russian ? MessageLanguage::Russian : MessageLanguage::English;
}

}  // namespace ra03v::test
