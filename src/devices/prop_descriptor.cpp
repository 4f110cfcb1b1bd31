#include "devices/prop_descriptor.h"

namespace ra03v {

namespace {

constexpr bool Fits(const TPropDescriptor& row) {
  return row.Identifier.size() <= kPropIdentifierMax &&
         row.AltIdentifier.size() <= kPropIdentifierMax && row.Name.size() <= kPropNameMax &&
         row.Type.size() <= kPropTypeMax && row.Default.size() <= kPropTextMax &&
         row.Description.size() <= kPropTextMax;
}

template <size_t N>
constexpr bool AllFit(const TPropDescriptor (&rows)[N]) {
  for (const TPropDescriptor& row : rows)
    if (!Fits(row)) return false;
  return true;
}

constexpr TPropDescriptor kCommonRows[] = {
    {"Использовать", "", "Использовать", "Integer", 0, "1",
     "Признак того, что данное устройство может быть использовано (включено выключено и т.д.)\r\n"
     "Допустимые значения: 0 - не может быть использовано, 1 - может"},
    {"Неразделяемое", "", "Неразделяемое", "Integer", 0, "0",
     "Поведение оборудования при нескольких запушенных копий продукта на одной машине или в "
     "терминальной сессии\r\n"
     "Значение: 0 – Оборудование создается только на главной сессии;\r\n"
     "1 – Каждый экземпляр точки доступа создает свое локальное оборудование"},
};

constexpr TPropDescriptor kPortRows[] = {
    {"ComNumber", "", "Номер порта", "Integer", 0, "1",
     "Номер порта\r\nДопустимые значения: 1, 2, 3..."},
    {"Baud", "", "Скорость порта", "Integer", 0, "9600",
     "Скорость порта\r\n"
     "Допустимые значения: 115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 300, 28800"},
    {"DataBits", "", "Биты данных", "Integer", 0, "8",
     "Биты данных (DataBits)\r\nДопустимые значения: 8, 7, 6, 5"},
    {"StopBits", "", "Стоп биты", "Integer", 0, "1",
     "Стоп биты (StopBits)\r\nДопустимые значения: 1, 2"},
    {"Parity", "", "Четность", "Integer", 0, "0",
     "Четность (Parity)\r\n"
     "Допустимые значения: 0 - \"Отсутствует (None)\", 1 - Нечетный (Odd), 2 - Четный (Even), "
     "3 - Метка (Mark), 4 - Пробел (Space)"},
    {"IsOpen", "", "Блокировать", "Integer", 0, "0",
     "Блокировать порт\r\nДопустимые значения: 1 - блокировать, 0 - нет"},
};

static_assert(AllFit(kCommonRows) && AllFit(kPortRows),
              "a descriptor text is wider than its field");

}  // namespace

std::span<const TPropDescriptor> CommonPropertyDescriptors() noexcept { return kCommonRows; }
std::span<const TPropDescriptor> PortPropertyDescriptors() noexcept { return kPortRows; }

}  // namespace ra03v
