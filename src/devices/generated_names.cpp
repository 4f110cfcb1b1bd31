#include "devices/generated_names.h"

#include <algorithm>

#include "devices/text_compare.h"

namespace ra03v {

namespace {

// Names change and devices go: the memo of keys is dropped rather than let grow.
constexpr size_t kMaxRememberedNames = 65536;

}  // namespace

const std::string& GeneratedNames::KeyOf(const std::string& name) {
  auto found = nameKeys_.find(name);
  if (found != nameKeys_.end()) return found->second;
  if (nameKeys_.size() >= kMaxRememberedNames) nameKeys_.clear();
  return nameKeys_.emplace(name, SameTextKey(name)).first->second;
}

void GeneratedNames::ExtendCandidates(int upTo) {
  for (int i = candidates_ + 1; i <= upTo; ++i)
    candidateNumbers_.emplace(SameTextKey(prefix_ + std::to_string(i)), i);
  candidates_ = std::max(candidates_, upTo);
}

std::string GeneratedNames::FirstFree(std::string_view prefix,
                                      const std::vector<const std::string*>& names,
                                      std::string_view exclude, int maxNumber) {
  if (prefix != prefix_) {
    prefix_.assign(prefix);
    candidateNumbers_.clear();
    candidates_ = 0;
  }
  const std::string excluded = SameTextKey(exclude);
  // n names take at most n numbers, so the answer lies within 1 .. n + 1; the
  // table grows further only if keys of distinct candidates ever coincided.
  int reach = std::min(maxNumber, static_cast<int>(names.size()) + 1);
  while (true) {
    ExtendCandidates(reach);
    std::vector<bool> taken(static_cast<size_t>(reach) + 1, false);
    for (const std::string* name : names) {
      const std::string& key = KeyOf(*name);
      if (key == excluded) continue;
      const auto number = candidateNumbers_.find(key);
      if (number != candidateNumbers_.end() && number->second <= reach)
        taken[static_cast<size_t>(number->second)] = true;
    }
    for (int i = 1; i <= reach; ++i)
      if (!taken[static_cast<size_t>(i)]) return prefix_ + std::to_string(i);
    if (reach >= maxNumber) return {};
    reach = std::min(maxNumber, reach * 2);
  }
}

}  // namespace ra03v
