#pragma once
// The names a host may call, looked up without comparing against every row.
//
// A name matches a row when it equals one of the row's names ignoring case
// under the user's locale, and the first row in lookup order wins: the
// driver-specific methods, then the built-in methods; the device parameters,
// then the driver properties. The index keeps each name's sort key under that
// comparison, so a lookup is one key and a binary search, and a name spelt as
// stored, or in upper or lower case throughout, needs not even the key.
//
// Built on the first lookup, from any thread (host threads and ports' event
// threads may look names up at once), and again for another user locale
// should one appear; the rows must not change after the first lookup.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/driver_tables.h"

namespace ra03v {

struct NameMatch {
  int32_t method = kNotFound;    // index in the method groups, first match
  int32_t property = kNotFound;  // index in the device parameter and driver property groups
  bool builtIn = false;          // some built-in method has this name
};

class NameIndex {
 public:
  NameIndex(const std::vector<TMethodEntry>& driverMethods,
            const std::vector<TMethodEntry>& builtInMethods,
            const std::vector<TPropertyEntry>& deviceParameters,
            const std::vector<TPropertyEntry>& properties);
  NameIndex(const NameIndex&) = delete;
  NameIndex& operator=(const NameIndex&) = delete;
  ~NameIndex();

  NameMatch Find(std::string_view name) const;

 private:
  struct Tables;
  const Tables& TablesFor(LCID locale) const;

  const std::vector<TMethodEntry>& driverMethods_;
  const std::vector<TMethodEntry>& builtInMethods_;
  const std::vector<TPropertyEntry>& deviceParameters_;
  const std::vector<TPropertyEntry>& properties_;
  mutable std::atomic<const Tables*> current_{nullptr};
  mutable std::mutex buildMutex_;
  // Every table set built, kept until the end: a reader may still hold one.
  mutable std::vector<std::unique_ptr<const Tables>> built_;
};

}  // namespace ra03v
