#pragma once
// An ordered list of name=value pairs whose names are looked up ignoring case.
// Kept as pairs, so a name or value holding "=" stays whole.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ra03v {

class TNameValueList {
 public:
  using Pair = std::pair<std::string, std::string>;

  // Replaces the value of the pair with that name, else appends a pair.
  void Set(std::string_view name, std::string_view value);
  // The value of the first pair with that name; empty when none.
  std::string Value(std::string_view name) const;
  bool Contains(std::string_view name) const;
  int Count() const noexcept { return static_cast<int>(pairs_.size()); }
  void Clear() noexcept { pairs_.clear(); }

  auto begin() const noexcept { return pairs_.begin(); }
  auto end() const noexcept { return pairs_.end(); }

 private:
  // Position of the first pair with that name; Count() when none.
  size_t IndexOf(std::string_view name) const;
  std::vector<Pair> pairs_;
};

}  // namespace ra03v
