#pragma once
// A device's property set (and a device list's templates): named text values
// with a type word, a default, a read-only flag and a description.
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devices/name_value_list.h"
#include "devices/prop_descriptor.h"

namespace ra03v {

class TPropItem {
 public:
  const std::string& Identifier() const noexcept { return FIdentifier; }
  const std::string& Name() const noexcept { return FName; }
  const std::string& Type() const noexcept { return FType; }
  bool ReadOnly() const noexcept { return FReadOnly; }
  const std::string& Default() const noexcept { return FDefault; }
  const std::string& Description() const noexcept { return FDescription; }
  const std::string& Value() const noexcept { return FValue; }

  void SetIdentifier(std::string_view text) { FIdentifier.assign(text); }
  void SetName(std::string_view text) { FName.assign(text); }
  void SetType(std::string_view text) { FType.assign(text); }
  void SetReadOnly(bool flag) noexcept { FReadOnly = flag; }
  void SetDefault(std::string_view text) { FDefault.assign(text); }
  // Cut to 255 characters: the field is a short string.
  void SetDescription(std::string_view text) { FDescription.assign(text.substr(0, kPropTextMax)); }
  void SetValue(std::string_view text) { FValue.assign(text); }

  // Copies every field, except that the value becomes source's default.
  void Assign(const TPropItem& source);

 private:
  std::string FIdentifier;
  std::string FName;
  std::string FType;
  bool FReadOnly = false;
  std::string FDefault;
  std::string FDescription;
  std::string FValue;
};

class TPropList {
 public:
  TPropList() = default;
  TPropList(const TPropList&) = delete;
  TPropList& operator=(const TPropList&) = delete;
  TPropList(TPropList&&) noexcept = default;
  TPropList& operator=(TPropList&&) noexcept = default;

  int Count() const noexcept { return static_cast<int>(items_.size()); }
  // Raises 20002 for an index outside 0..Count-1.
  TPropItem& Item(int index) const;
  // A new item with every field empty, appended.
  TPropItem& Add();
  void Clear() noexcept { items_.clear(); }

  // First item whose identifier equals identifier ignoring case; null when none.
  TPropItem* Find(std::string_view identifier) const;
  // That item's value; empty when there is none.
  std::string GetPropValue(std::string_view identifier) const;
  // Sets the value, appending an item with only that identifier when there is none.
  void SetPropValue(std::string_view identifier, std::string_view value);
  // SetPropValue for every pair.
  void ApplyList(const TNameValueList& lines);
  // Finds or appends the row's item and sets it from the row; value := default.
  TPropItem& AddDescriptor(const TPropDescriptor& row);
  void AddDescriptors(std::span<const TPropDescriptor> rows);
  // Appends a copy (Assign) of every item of source: new sets start at the defaults.
  void CopyItemsFrom(const TPropList& source);
  // Default and value := value, and the read-only flag, of the item named name;
  // false and nothing changed when there is none.
  bool SetPropertyDefault(std::string_view name, std::string_view value, bool readOnly);

  auto begin() const noexcept { return items_.begin(); }
  auto end() const noexcept { return items_.end(); }

 private:
  std::vector<std::unique_ptr<TPropItem>> items_;
};

}  // namespace ra03v
