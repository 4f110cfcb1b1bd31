#include "devices/name_value_list.h"

#include "devices/text_compare.h"

namespace ra03v {

size_t TNameValueList::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < pairs_.size(); ++i)
    if (SameText(pairs_[i].first, name)) return i;
  return pairs_.size();
}

void TNameValueList::Set(std::string_view name, std::string_view value) {
  const size_t at = IndexOf(name);
  if (at < pairs_.size())
    pairs_[at].second.assign(value);
  else
    pairs_.emplace_back(std::string(name), std::string(value));
}

std::string TNameValueList::Value(std::string_view name) const {
  const size_t at = IndexOf(name);
  return at < pairs_.size() ? pairs_[at].second : std::string();
}

bool TNameValueList::Contains(std::string_view name) const { return IndexOf(name) < pairs_.size(); }

}  // namespace ra03v
