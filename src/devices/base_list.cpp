#include "devices/base_list.h"

#include <algorithm>

#include "foundation/error_codes.h"
#include "foundation/text_utils.h"

namespace ra03v {

TBaseList::~TBaseList() = default;

TBaseItem& TBaseList::Item(int index) const {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  return *items_[static_cast<size_t>(index)];
}

int TBaseList::IndexOf(const TBaseItem* item) const noexcept {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return static_cast<int>(i);
  return -1;
}

TBaseItem& TBaseList::InsertItem(int index, std::unique_ptr<TBaseItem> item) {
  index = std::clamp(index, 0, Count());
  item->SetList(this);
  return **items_.insert(items_.begin() + index, std::move(item));
}

void TBaseList::Delete(int index) {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  // Taken out first: the item's destructor may look at the list.
  std::unique_ptr<TBaseItem> gone = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  gone.reset();
  SetModified(true);
}

bool TBaseList::Modified() const {
  return modified_ || std::any_of(items_.begin(), items_.end(),
                                  [](const auto& item) { return item->EffectiveModified(); });
}

void TBaseList::SetModified(bool value) {
  if (!value)
    for (const auto& item : items_) item->SetModified(false);
  if (modified_ == value) return;
  modified_ = value;
  Notify({this, nullptr});
}

void TBaseList::Notify(const TChangeSource& source) const {
  if (onChange_ && !Updating()) onChange_(source);
}

void TBaseList::AddFilter(std::string_view attribute, std::string_view value) {
  filters_.Set(attribute, BytesToHex(value));
}

TBaseItem::TBaseItem(TBaseList* list) : list_(list) {
  if (list) onChange_ = list->OnChange();
}

TBaseItem::~TBaseItem() = default;

bool TBaseItem::EffectiveModified() const {
  return modified_ || (children_ && children_->Modified());
}

void TBaseItem::SetModified(bool value) {
  if (!value && children_) children_->SetModified(false);
  if (modified_ == value) return;
  modified_ = value;
  if (onChange_ && !(list_ && list_->Updating())) onChange_({nullptr, this});
}

bool TBaseItem::SetState(int32_t state) {
  if (state_ == state) return true;
  state_ = state;
  SetModified(true);
  if (state_ == 1 && version_ == -1 && list_) {
    const int index = list_->IndexOf(this);
    if (index >= 0) {
      list_->Delete(index);  // frees this item
      return false;
    }
  }
  return true;
}

}  // namespace ra03v
