#include "devices/prop_list.h"

#include "devices/text_compare.h"
#include "foundation/error_codes.h"

namespace ra03v {

void TPropItem::Assign(const TPropItem& source) {
  FIdentifier = source.FIdentifier;
  FName = source.FName;
  FType = source.FType;
  FReadOnly = source.FReadOnly;
  FDefault = source.FDefault;
  FDescription = source.FDescription;
  FValue = source.FDefault;
}

TPropItem& TPropList::Item(int index) const {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  return *items_[static_cast<size_t>(index)];
}

TPropItem& TPropList::Add() { return *items_.emplace_back(std::make_unique<TPropItem>()); }

TPropItem* TPropList::Find(std::string_view identifier) const {
  for (const auto& item : items_)
    if (SameText(item->Identifier(), identifier)) return item.get();
  return nullptr;
}

std::string TPropList::GetPropValue(std::string_view identifier) const {
  const TPropItem* item = Find(identifier);
  return item ? item->Value() : std::string();
}

void TPropList::SetPropValue(std::string_view identifier, std::string_view value) {
  TPropItem* item = Find(identifier);
  if (!item) {
    item = &Add();
    item->SetIdentifier(identifier);
  }
  item->SetValue(value);
}

void TPropList::ApplyList(const TNameValueList& lines) {
  for (const auto& [name, value] : lines) SetPropValue(name, value);
}

TPropItem& TPropList::AddDescriptor(const TPropDescriptor& row) {
  TPropItem* item = Find(row.Identifier);
  if (!item) item = &Add();
  item->SetIdentifier(row.Identifier.substr(0, kPropIdentifierMax));
  item->SetName(row.Name.substr(0, kPropNameMax));
  item->SetType(row.Type.substr(0, kPropTypeMax));
  item->SetReadOnly(row.ReadOnly != 0);
  item->SetDefault(row.Default.substr(0, kPropTextMax));
  item->SetDescription(row.Description);
  item->SetValue(item->Default());
  return *item;
}

void TPropList::AddDescriptors(std::span<const TPropDescriptor> rows) {
  for (const TPropDescriptor& row : rows) AddDescriptor(row);
}

void TPropList::CopyItemsFrom(const TPropList& source) {
  // Indexed and counted up front: source may be this very list.
  const size_t count = source.items_.size();
  for (size_t i = 0; i < count; ++i) Add().Assign(*source.items_[i]);
}

bool TPropList::SetPropertyDefault(std::string_view name, std::string_view value, bool readOnly) {
  TPropItem* item = Find(name);
  if (!item) return false;
  item->SetDefault(value);
  item->SetValue(value);
  item->SetReadOnly(readOnly);
  return true;
}

}  // namespace ra03v
