#include "host/name_index.h"

#include <algorithm>
#include <utility>

#include "devices/text_compare.h"
#include "foundation/text_codec.h"

namespace ra03v {

namespace {

template <typename Row>
bool KeyBefore(const Row& row, std::string_view key) {
  return std::string_view(row.first) < key;
}

// The row of a sorted table whose first member is key, or null.
template <typename Row>
const Row* FindRow(const std::vector<Row>& rows, std::string_view key) {
  auto it = std::lower_bound(rows.begin(), rows.end(), key, &KeyBefore<Row>);
  return it != rows.end() && std::string_view(it->first) == key ? &*it : nullptr;
}

// Part 0 (before the first comma, or the whole text) or part 1 (after it, or
// empty) of a method's stored names; both are names, even an empty part.
std::string_view MethodName(std::string_view names, int part) {
  const size_t comma = names.find(',');
  if (comma == std::string_view::npos) return part == 0 ? names : std::string_view();
  return part == 0 ? names.substr(0, comma) : names.substr(comma + 1);
}

}  // namespace

struct NameIndex::Tables {
  LCID locale = 0;
  // Sort key to answer, and stored spelling to answer; both sorted.
  std::vector<std::pair<std::string, NameMatch>> byKey;
  std::vector<std::pair<std::string, NameMatch>> bySpelling;
};

NameIndex::NameIndex(const std::vector<TMethodEntry>& driverMethods,
                     const std::vector<TMethodEntry>& builtInMethods,
                     const std::vector<TPropertyEntry>& deviceParameters,
                     const std::vector<TPropertyEntry>& properties)
    : driverMethods_(driverMethods),
      builtInMethods_(builtInMethods),
      deviceParameters_(deviceParameters),
      properties_(properties) {}

NameIndex::~NameIndex() = default;

const NameIndex::Tables& NameIndex::TablesFor(LCID locale) const {
  std::lock_guard<std::mutex> guard(buildMutex_);
  for (const auto& tables : built_)
    if (tables->locale == locale) {
      current_.store(tables.get(), std::memory_order_release);
      return *tables;
    }

  auto tables = std::make_unique<Tables>();
  tables->locale = locale;
  std::vector<std::pair<std::string, NameMatch>> rows;  // in lookup order
  TextKey key;
  auto answerFor = [&](std::string_view name) -> NameMatch& {
    key.Make(name, locale);
    tables->bySpelling.emplace_back(std::string(name), NameMatch{});
    for (auto& row : rows)
      if (row.first == key.View()) return row.second;
    return rows.emplace_back(std::string(key.View()), NameMatch{}).second;
  };
  auto addMethods = [&](const std::vector<TMethodEntry>& group, int32_t base, bool builtIn) {
    for (size_t i = 0; i < group.size(); ++i)
      for (int part = 0; part < 2; ++part) {
        NameMatch& answer = answerFor(MethodName(group[i].Names, part));
        if (answer.method == kNotFound) answer.method = base + static_cast<int32_t>(i);
        answer.builtIn = answer.builtIn || builtIn;
      }
  };
  auto addProperties = [&](const std::vector<TPropertyEntry>& group, int32_t base) {
    auto add = [&](std::string_view name, int32_t index) {
      NameMatch& answer = answerFor(name);
      if (answer.property == kNotFound) answer.property = index;
    };
    for (size_t i = 0; i < group.size(); ++i) {
      const int32_t index = base + static_cast<int32_t>(i);
      add(group[i].Name, index);
      // A missing English name is no name: the empty text does not find the row.
      if (!group[i].AltName.empty()) add(group[i].AltName, index);
    }
  };
  addMethods(driverMethods_, kDriverMethodBase, false);
  addMethods(builtInMethods_, kBuiltInMethodBase, true);
  addProperties(deviceParameters_, kDeviceParameterBase);
  addProperties(properties_, kDriverPropertyBase);

  // Hosts write names as stored or in one case throughout: those spellings
  // are found without making a key. Each answers as its own key does, also
  // where the locale's case mapping makes it another name.
  const size_t stored = tables->bySpelling.size();
  for (size_t i = 0; i < stored; ++i)
    for (DWORD flags : {LCMAP_UPPERCASE, LCMAP_LOWERCASE}) {
      std::wstring wide = Text1251ToWide(tables->bySpelling[i].first);
      if (wide.empty()) continue;
      LCMapStringW(locale, flags, wide.data(), static_cast<int>(wide.size()), wide.data(),
                   static_cast<int>(wide.size()));
      tables->bySpelling.emplace_back(WideTo1251(wide), NameMatch{});
    }
  for (auto& [spelling, answer] : tables->bySpelling) {
    key.Make(spelling, locale);
    answer = NameMatch{};
    for (const auto& row : rows)
      if (row.first == key.View()) answer = row.second;
  }
  auto byFirst = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::sort(rows.begin(), rows.end(), byFirst);
  std::sort(tables->bySpelling.begin(), tables->bySpelling.end(), byFirst);
  tables->byKey = std::move(rows);

  const Tables* made = tables.get();
  built_.push_back(std::move(tables));
  current_.store(made, std::memory_order_release);
  return *made;
}

NameMatch NameIndex::Find(std::string_view name) const {
  // The locale of this moment, as a comparison made now would use.
  const LCID locale = GetUserDefaultLCID();
  const Tables* tables = current_.load(std::memory_order_acquire);
  if (!tables || tables->locale != locale) tables = &TablesFor(locale);
  if (const auto* row = FindRow(tables->bySpelling, name)) return row->second;
  TextKey key;
  key.Make(name, locale);
  const auto* row = FindRow(tables->byKey, key.View());
  return row ? row->second : NameMatch{};
}

}  // namespace ra03v
