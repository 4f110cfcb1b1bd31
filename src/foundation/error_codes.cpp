#include "foundation/error_codes.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "foundation/protect_exception.h"

namespace ra03v {

namespace {

struct ErrorRow {
  int32_t code;
  const char* russian;
  const char* english;  // null: no English template
};

// Sorted by code.
constexpr ErrorRow kErrorRows[] = {
    {0, "Ok", "Ok"},
    {20000, "%s", "%s"},
    {20001, "Оборудование не найдено [%s].", "The equipment not found [%s]."},
    {20002, "Неверный номер элемента массива.", "Invalid index."},
    {20003, "Входные данные для выполнения задания не определены.", "Input data not defined."},
    {20004, "Оборудование не определено.", "The equipment not defined."},
    {20005, "Неверное состояние задачи для вызываемой операции [%s] Операция [%s].",
     "Invalid task state [%s] Action [%s]."},
    {20006, "Ошибка времени исполнения [%s].", "Executing timeout [%s]."},
    {20007, "Превышено время ожидания [%s].", "Waiting timeout [%s]."},
    {20008, "Неверное количество параметров для Invoke.", "Invalid params count."},
    {20009, "Не найдена задача с указанным идентификатором [%s]", "The task not found [%s]."},
    {20010, "Точка доступа не найдена [%s]", "The access point not found [%s]"},
    {20011, "Оборудование уже используется.", "The equipment already used."},
    {20013, "Сервер уже запущен.", "The server is already started ."},
    {20014, "Неподдерживаемый тип данных.", "Bad data type."},
    {20020, "Точка доступа с указанными параметрами уже существует.",
     "The point of access with the specified parameters already exists ."},
    {20021, "Ошибка вызова метода [%s]", "Mistake by a call of a method [%s]"},
    {20022, "Ошибка конфигурации - общий или локальный каталог неопределены.",
     "Mistake of a configuration - the global or local folder are not certain."},
    {20023, "Ошибка структуры конфигурационного файла %s",
     "Mistake of structure of a configuration file %s"},
    {20024, "Не найдена библиотека оборудования [%s]",
     "The library of the equipment is not found [%s]"},
    {20025, "Решение не найдено [%s]", "The application is not found  [%s]"},
    {20026, "Операция прервана", "Operation is canceled"},
    {20027, "Модель оборудования не найдена [%s]", "The model of the equipment is not found  [%s]"},
    {20028, "Неверная структура параметра", "Incorrect structure of parameter"},
    {20029, "Неверный тип свойства [%s]", "Incorrect type of property [%s]"},
    {20030, "Оборудование выключено.", "The equipment is switched off."},
    {20031, "Оборудование заблокировано другой задачей.",
     "The equipment is blocked by other task."},
    {20032,
     "Устройство не готово: - не включен компьютер [%s] или с ним нет связи.\r\n"
     "Возможная причина - установленное программное обеспечение (firewall) блокирует сетевое "
     "соединение.",
     "The device is not ready: - the computer [%s] is not included or with it there is no "
     "communication. \r\n the possible reason - the established software (firewall) blocks "
     "network connection."},
    {20033,
     "Доступ к оборудованию запрещен. Возможная причина - не найдена библиотека управления "
     "оборудованием.\r\nОборудование: [%s]",
     "Access to the equipment is forbidden. The possible reason - is not found library of "
     "management by the equipment. \r\n The equipment : [%s]"},
    {20036, "Метод/Свойство [%s] не обнаружено", "Method/property [%s] it is not revealed"},
    {20040, "Нет доступа к общему каталогу.", "There is no access to the global folder."},
    {20041, "Ошибка конфигурационного файла:\r\nдублирование описания решения.",
     "Mistake of a configuration file:\r\nduplication of the description of the application."},
    {20042, "Ошибка конфигурационного файла:\r\nдублирование описания рабочей точки.",
     "Mistake of a configuration file: \r\n duplication of the description of a access point ."},
    {20043, "Не указан номер порта.", "Number of port is not specified."},
    {20045, "Не указана точка вызова оборудования.",
     "The point of a call of the equipment is not specified ."},
    {20046, "Отсутствует связь с сервером синхронизации.",
     "There is no communication with a server of synchronization."},
    {20047, "Не удалось загрузить настройки", "It was not possible to load settings"},
    {20048, "Неверное значение параметра", "Incorrect value of parameter "},
    {20050, "Компьютер с именем [%s] не найден, или недоступен", "The workstation [%s] not fount."},
    {20051, "Порт [%s] сервера управления оборудования занят другой программой.",
     "Port [%s] is already used."},
    {20052,
     "Устройство помечено в системе как неиспользуемое в настоящее время, обращения к нему "
     "заблокированы",
     "The device is marked in system as not now in use, references to it are blocked."},
    {20054, "%s\r\nНедостаточно прав пользователя.", nullptr},
    {21000, "%s", "%s"},
    {21003, "Неверное количество параметров в SafeArray",
     "Incorrect quantity of parameters in SafeArray "},
    {21004, "Недопустимый тип параметра", "Incorrect type of parameter "},
    {21005, "Недопустимое значение параметра", "Incorrect value of parameter "},
    {21010, "Ошибка получения фискальных реквизитов", "Mistake of reception of fiscal requisites."},
    {21011, "Функция \"%s\" не поддерживается текущим ФР",
     "Function \"%s\" is not supported by the current FR"},
};

const ErrorRow* FindRow(int32_t code) {
  const auto it = std::lower_bound(std::begin(kErrorRows), std::end(kErrorRows), code,
                                   [](const ErrorRow& row, int32_t c) { return row.code < c; });
  return it != std::end(kErrorRows) && it->code == code ? it : nullptr;
}

}  // namespace

MessageLanguage CurrentMessageLanguage() {
  return (GetUserDefaultLangID() & 0xFF) == 0x19 ? MessageLanguage::Russian
                                                 : MessageLanguage::English;
}

std::string ErrorText(int32_t code, MessageLanguage language) {
  const ErrorRow* row = FindRow(code);
  if (language == MessageLanguage::Russian) {
    if (row) return row->russian;
    return "Неизвестная ошибка (Код = " + std::to_string(code) + ")!";
  }
  if (row && row->english) return row->english;
  return "Unknown error (Code = " + std::to_string(code) + ")!";
}

std::string ErrorText(int32_t code) { return ErrorText(code, CurrentMessageLanguage()); }

void RaiseError(int32_t code, std::span<const FormatArg> args) {
  const bool tabled = code >= 20000 && code <= 21999;
  const std::string message =
      tabled ? FormatTemplate(ErrorText(code), args) : FormatTemplate("%s", args);
  throw EProtectException(code, message);
}

void RaiseText(const std::string& text) { RaiseError(kErrorText, {text}); }

}  // namespace ra03v
