#include "foundation/root_objects.h"

#include <stdexcept>

#include "foundation/system_info.h"
#include "foundation/win/win_error.h"

namespace ra03v {

TRootObject::TRootObject() { SetUpSecurity(IsWindowsNT()); }

void TRootObject::SetUpSecurity(bool isNT) {
  security_ = {};
  descriptor_ = {};
  if (!isNT) return;
  security_.nLength = sizeof security_;
  security_.bInheritHandle = FALSE;
  security_.lpSecurityDescriptor = &descriptor_;
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION))
    throw std::runtime_error("InitializeSecurityDescriptor\r\n" + SystemErrorText(GetLastError()));
  if (!SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE))
    throw std::runtime_error("SetSecurityDescriptorDacl\r\n" + SystemErrorText(GetLastError()));
}

int TRootCollectionItem::Index() const noexcept {
  return collection_ ? collection_->IndexOf(this) : -1;
}

TRootCollectionItem& TRootCollection::ItemAt(int index) const {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  return *items_[static_cast<size_t>(index)];
}

int TRootCollection::IndexOf(const TRootCollectionItem* item) const noexcept {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return static_cast<int>(i);
  return -1;
}

TRootCollectionItem& TRootCollection::Append(std::unique_ptr<TRootCollectionItem> item) {
  item->collection_ = this;
  items_.push_back(std::move(item));
  return *items_.back();
}

void TRootCollection::Delete(int index) {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  items_.erase(items_.begin() + index);
}

std::unique_ptr<TRootCollectionItem> TRootCollection::Take(int index) {
  if (index < 0 || index >= Count()) RaiseError(kErrorInvalidIndex);
  std::unique_ptr<TRootCollectionItem> item = std::move(items_[static_cast<size_t>(index)]);
  items_.erase(items_.begin() + index);
  item->collection_ = nullptr;
  return item;
}

std::vector<std::unique_ptr<TRootCollectionItem>> TRootCollection::TakeAll() noexcept {
  std::vector<std::unique_ptr<TRootCollectionItem>> items;
  items.swap(items_);
  for (auto& item : items) item->collection_ = nullptr;
  return items;
}

}  // namespace ra03v
