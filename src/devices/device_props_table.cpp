// The seven-column property table a device exchanges with the host through
// value array objects: identifier, name, description, type word, value,
// read-only flag, default.
#include "devices/device_item.h"
#include "devices/number_text.h"
#include "devices/prop_values.h"
#include "devices/text_compare.h"
#include "devices/value_array_access.h"
#include "foundation/error_codes.h"
#include "host/class_factory.h"
#include "ra03v/host_contract.h"

namespace ra03v {

namespace {

constexpr int32_t kColumns = 7;
constexpr char kDeviceNameRow[] = "ИмяУстройства";
constexpr int32_t kErrorPropertyType = 20029;

// A new value array from the host's event interface (its twenty-fourth slot).
ComPtr<ISafeArray> HostValueArray(IDispatch* sink) {
  auto** table = *reinterpret_cast<void***>(sink);
  const auto create =
      reinterpret_cast<RA03V_CREATE_VALUE_ARRAY>(table[RA03V_EVENT_SLOT_CREATE_VALUE_ARRAY]);
  Variant result;
  CheckArrayCall(create(sink, result.Put()), "CreateValueArray");
  ComPtr<ISafeArray> array = ValueArrayOf(result.Get());
  if (!array) RaiseText("Хост не выдал массив значений");
  return array;
}

void Store(ISafeArray& table, int32_t row, int32_t column, const Variant& value) {
  CheckArrayCall(table.SetValue(row, column, value.Get()), "SetValue");
}

Variant Text(std::string_view text) { return Variant::From1251(StoredToShownLineBreaks(text)); }

Variant Read(ISafeArray& table, int32_t row, int32_t column) {
  Variant value;
  CheckArrayCall(table.GetValue(row, column, value.Put()), "GetValue");
  return Variant::Copy(value.Get());
}

}  // namespace

int32_t TDeviceItem::GetPropsTable(Variant& result) {
  ComPtr<ISafeArray> table =
      FHostEventSink ? HostValueArray(FHostEventSink.Get()) : CreateValueArray();
  CheckArrayCall(table->SetBounds(FProps.Count() + 1, kColumns), "SetBounds");
  ISafeArray& t = *table.Get();
  Store(t, 0, 0, Text(kDeviceNameRow));
  Store(t, 0, 1, Text("Имя устройства"));
  Store(t, 0, 2, Text("Имя устройства"));
  Store(t, 0, 3, Text("Строка"));
  Store(t, 0, 4, Text(FDeviceName));
  Store(t, 0, 5, Variant::FromInt(1));
  Store(t, 0, 6, Text(""));
  int32_t row = 1;
  for (const auto& item : FProps) {
    Store(t, row, 0, Text(item->Identifier()));
    Store(t, row, 1, Text(item->Name()));
    Store(t, row, 2, Text(item->Description()));
    Store(t, row, 3, Text(ShownTypeWord(item->Type())));
    Store(t, row, 4, TableCellValue(item->Type(), item->Value()));
    Store(t, row, 5, Variant::FromInt(item->ReadOnly() ? 1 : 0));
    Store(t, row, 6, TableCellValue(item->Type(), item->Default()));
    ++row;
  }
  result = ValueArrayValue(std::move(table));
  return kResultOk;
}

int32_t TDeviceItem::SetPropsTable(const VARIANT& value) {
  const ComPtr<ISafeArray> table = ValueArrayOf(value);
  if (!table) return kResultWrongType;
  LONG rows = 0;
  LONG columns = 0;
  CheckArrayCall(table->GetBounds(&rows, &columns), "GetBounds");
  for (LONG row = 0; row < rows; ++row) {
    // The whole row is read before anything of it is applied, so a table with
    // too few columns fails at its first row.
    Variant cells[kColumns];
    for (int32_t column = 0; column < kColumns; ++column)
      cells[column] = Read(*table.Get(), row, column);
    const std::string identifier =
        ShownToStoredLineBreaks(ValueText(cells[0].Get())).substr(0, kPropIdentifierMax);
    if (SameText(identifier, kDeviceNameRow)) continue;
    const std::string name = ValueText(cells[1].Get()).substr(0, kPropNameMax);
    const std::string type = ValueText(cells[3].Get()).substr(0, kPropTypeMax);
    const int32_t flag = cells[5].Type() == VT_EMPTY ? 0 : cells[5].ToInt();
    const std::string text = ShownToStoredLineBreaks(ValueText(cells[4].Get()));
    double number = 0;
    if (flag == 0 && SameText(type, "Число") && !TryStrToFloat(text, number))
      RaiseError(kErrorPropertyType, {name});
    SetProperty(identifier, text);
  }
  return kResultOk;
}

}  // namespace ra03v
