"""Parses the documents the library wrote with Python's own XML parser."""
import sys
import xml.etree.ElementTree as ET

folder = sys.argv[1]
root = ET.parse(f"{folder}/written_parameters.xml").getroot()
assert root.tag == "Параметры", root.tag
params = root.findall("Параметр")
ids = [p.get("Идентификатор") for p in params]
assert ids == ["Использовать", "Неразделяемое", "ComNumber", "Baud", "DataBits",
               "StopBits", "Parity", "IsOpen", "Примечание"], ids
baud = params[3]
assert baud.get("Тип") == "Число"
assert baud.get("Зна4ениеПоУмол4анию") == "9600"
assert baud.get("ФлагТолько4тение") == "0"
assert baud.get("Описание") == ("Скорость порта\\nДопустимые значения: 115200, 57600, 38400, "
                                "19200, 9600, 4800, 2400, 1200, 300, 28800"), baud.get("Описание")
assert params[7].get("ФлагТолько4тение") == "1"
note = params[8]
assert note.get("Тип") == ""
assert note.get("Наименование") == 'Примечание & "кавычки"'
assert note.get("Зна4ениеПоУмол4анию") == "<нет>"
for p in params:
    assert "\r" not in p.get("Описание") and "\n" not in p.get("Описание")
print("1 passed, 0 failed")
