#pragma once
// Root classes of the driver object, the device list and the device items.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/error_codes.h"

namespace ra03v {

class TRootObject {
 public:
  TRootObject();
  virtual ~TRootObject() = default;
  TRootObject(const TRootObject&) = delete;
  TRootObject& operator=(const TRootObject&) = delete;

  // Named system objects made with these may be opened by everybody (an empty
  // access list); both stay zero outside the NT family.
  const SECURITY_ATTRIBUTES& SecurityAttributes() const noexcept { return security_; }
  // Its window never has a parent: WS_CHILD is taken out of the base style.
  static DWORD WindowStyle(DWORD baseStyle) noexcept {
    return baseStyle & ~static_cast<DWORD>(WS_CHILD);
  }

  [[noreturn]] void RaiseError(int32_t code, std::initializer_list<FormatArg> args = {}) const {
    ra03v::RaiseError(code, args);
  }
  [[noreturn]] void RaiseText(const std::string& text) const { ra03v::RaiseText(text); }

 protected:
  // Zeroes both fields and, on NT, makes the empty-access-list descriptor.
  void SetUpSecurity(bool isNT);

 private:
  SECURITY_ATTRIBUTES security_{};
  SECURITY_DESCRIPTOR descriptor_{};
};

class TRootCollection;

class TRootCollectionItem {
 public:
  virtual ~TRootCollectionItem() = default;
  TRootCollectionItem(const TRootCollectionItem&) = delete;
  TRootCollectionItem& operator=(const TRootCollectionItem&) = delete;

  TRootCollection* Collection() const noexcept { return collection_; }
  // Position in the owning collection; -1 when not owned.
  int Index() const noexcept;

  [[noreturn]] void RaiseError(int32_t code, std::initializer_list<FormatArg> args = {}) const {
    ra03v::RaiseError(code, args);
  }

 protected:
  TRootCollectionItem() = default;

 private:
  friend class TRootCollection;
  TRootCollection* collection_ = nullptr;
};

// Owns its items; an item belongs to exactly one collection.
class TRootCollection {
 public:
  TRootCollection() = default;
  virtual ~TRootCollection() = default;
  TRootCollection(const TRootCollection&) = delete;
  TRootCollection& operator=(const TRootCollection&) = delete;

  int Count() const noexcept { return static_cast<int>(items_.size()); }
  // Raises 20002 for an index outside 0..Count-1.
  TRootCollectionItem& ItemAt(int index) const;
  int IndexOf(const TRootCollectionItem* item) const noexcept;
  // Takes ownership of item and appends it; returns it.
  TRootCollectionItem& Append(std::unique_ptr<TRootCollectionItem> item);
  // Frees the item at index (20002 when out of range).
  void Delete(int index);
  // Takes the item at index out of the collection and hands it over (20002
  // when out of range).
  std::unique_ptr<TRootCollectionItem> Take(int index);
  // Takes every item out at once: the collection is empty before any of them
  // is freed.
  std::vector<std::unique_ptr<TRootCollectionItem>> TakeAll() noexcept;
  void Clear() noexcept { items_.clear(); }

  [[noreturn]] void RaiseError(int32_t code, std::initializer_list<FormatArg> args = {}) const {
    ra03v::RaiseError(code, args);
  }

 private:
  std::vector<std::unique_ptr<TRootCollectionItem>> items_;
};

}  // namespace ra03v
