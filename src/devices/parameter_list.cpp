#include "devices/parameter_list.h"

#include "devices/text_compare.h"

namespace ra03v {

TParameterItem& TParameterList::Insert(int index) {
  return static_cast<TParameterItem&>(InsertItem(index, std::make_unique<TParameterItem>(this)));
}

TParameterItem* TParameterList::FindByName(std::string_view identifier) const {
  for (int i = 0; i < Count(); ++i) {
    TParameterItem& item = Param(i);
    if (SameText(item.ParamName(), identifier)) return &item;
  }
  return nullptr;
}

}  // namespace ra03v
