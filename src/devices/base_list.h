#pragma once
// A small collection framework for catalogs read from XML: lists with a source
// document, attribute filters and change notification; items with a state, a
// mark for reloads and modified flags.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/name_value_list.h"

namespace ra03v {

class TBaseItem;
class TBaseList;

// Who changed: a list (item null) or an item.
struct TChangeSource {
  const TBaseList* list = nullptr;
  const TBaseItem* item = nullptr;
};
using TChangeEvent = std::function<void(const TChangeSource&)>;

class TBaseList {
 public:
  TBaseList() = default;
  virtual ~TBaseList();
  TBaseList(const TBaseList&) = delete;
  TBaseList& operator=(const TBaseList&) = delete;

  // Fills the list from the source document; the base has nothing to read.
  virtual void Load() {}

  int Count() const noexcept { return static_cast<int>(items_.size()); }
  // Raises 20002 for an index outside 0..Count-1.
  TBaseItem& Item(int index) const;
  int IndexOf(const TBaseItem* item) const noexcept;
  // Frees the item; the list becomes modified, notifying once when it was not.
  void Delete(int index);
  void Clear() noexcept { items_.clear(); }

  // The list's own flag, or any item's effective flag.
  bool Modified() const;
  // Stores the list's flag, notifying when it changed; false also clears
  // every item's flags.
  void SetModified(bool value);

  TBaseList* Owner() const noexcept { return owner_; }
  void SetOwner(TBaseList* owner) noexcept { owner_ = owner; }
  const TChangeEvent& OnChange() const noexcept { return onChange_; }
  void SetOnChange(TChangeEvent handler) { onChange_ = std::move(handler); }
  // Notifications are held back while the counter is above 0.
  void BeginUpdate() noexcept { ++updating_; }
  void EndUpdate() noexcept {
    if (updating_ > 0) --updating_;
  }
  bool Updating() const noexcept { return updating_ > 0; }

  // Filter lines name=value, the value kept as hexadecimal text of its bytes.
  void AddFilter(std::string_view attribute, std::string_view value);
  const TNameValueList& Filters() const noexcept { return filters_; }
  void ClearFilters() noexcept { filters_.Clear(); }

  // The catalog is kept as its text, never as a live COM object, so nothing
  // of a call's COM apartment outlives the call.
  const std::shared_ptr<const std::string>& SourceDocument() const noexcept { return source_; }
  void SetSourceDocument(std::shared_ptr<const std::string> text) { source_ = std::move(text); }

  // Set at construction: lookups then ignore item states.
  bool AnyState() const noexcept { return anyState_; }
  void SetAnyState(bool value) noexcept { anyState_ = value; }

 protected:
  // Takes ownership and inserts at index (clamped to 0..Count).
  TBaseItem& InsertItem(int index, std::unique_ptr<TBaseItem> item);
  void Notify(const TChangeSource& source) const;

 private:
  std::vector<std::unique_ptr<TBaseItem>> items_;
  bool modified_ = false;
  TBaseList* owner_ = nullptr;
  TChangeEvent onChange_;
  int updating_ = 0;
  TNameValueList filters_;
  std::shared_ptr<const std::string> source_;
  bool anyState_ = true;
};

class TBaseItem {
 public:
  // The item starts with its list's notification; the list adds it itself.
  explicit TBaseItem(TBaseList* list);
  virtual ~TBaseItem();
  TBaseItem(const TBaseItem&) = delete;
  TBaseItem& operator=(const TBaseItem&) = delete;

  // Stores the flag when it changes and notifies; false also clears the
  // child list's flags.
  virtual void SetModified(bool value);
  // Reads the item's children from the catalog.
  virtual void LoadChildren() = 0;

  bool Modified() const noexcept { return modified_; }
  // The item's own flag, or its child list's modified state.
  bool EffectiveModified() const;

  int32_t State() const noexcept { return state_; }
  // A different state is stored and marks the item modified. State 1 with
  // version -1 removes the item from its list and frees it: the result is then
  // false and the item must not be touched again.
  [[nodiscard]] bool SetState(int32_t state);

  TBaseList* List() const noexcept { return list_; }
  void SetList(TBaseList* list) noexcept { list_ = list; }
  TBaseList* Children() const noexcept { return children_.get(); }
  const TChangeEvent& OnChange() const noexcept { return onChange_; }
  void SetOnChange(TChangeEvent handler) { onChange_ = std::move(handler); }

  // Set at creation; cleared before a reload, set again by it.
  bool Mark() const noexcept { return mark_; }
  void SetMark(bool value) noexcept { mark_ = value; }
  int32_t Version() const noexcept { return version_; }
  void SetVersion(int32_t version) { Change(version_, version); }

 protected:
  void SetChildren(std::unique_ptr<TBaseList> children) { children_ = std::move(children); }
  // Stores value and marks the item modified when it differed.
  template <typename T, typename V>
  void Change(T& field, const V& value) {
    if (field == value) return;
    field = value;
    SetModified(true);
  }

 private:
  int32_t state_ = 0;
  bool modified_ = false;
  TChangeEvent onChange_;
  std::unique_ptr<TBaseList> children_;
  TBaseList* list_ = nullptr;
  bool mark_ = true;
  int32_t version_ = 0;
};

}  // namespace ra03v
