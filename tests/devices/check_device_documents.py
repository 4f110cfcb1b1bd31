"""Parses the device documents the library wrote with Python's own XML parser."""
import re
import sys
import xml.etree.ElementTree as ET

folder = sys.argv[1]
GUID = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")
MODEL = "{C7C345A0-2C38-411D-AE5B-CEA387564725}"


def check_device(device):
    assert device.tag == "Устройство", device.tag
    assert GUID.match(device.get("Код")), device.get("Код")
    assert device.get("КодМодели") == MODEL, device.get("КодМодели")
    assert device.get("КодТо4киДоступа") == ""
    params = device.findall("Параметры/Параметр")
    assert params, "no parameters"
    values = {p.get("Идентификатор"): p.get("Зна4ение") for p in params}
    assert all(v is not None for v in values.values()), values
    return device, values


settings = ET.parse(f"{folder}/written_settings.xml").getroot()
device, values = check_device(settings)
assert device.get("Наименование") == 'Проходная & "главная"', device.get("Наименование")
assert values["Примечание"] == "первая\\nвторая <строка>", values["Примечание"]
assert values["ComNumber"] == "102" and values["Baud"] == "38400" and values["StopBits"] == "2", values
assert values["Свой"] == "значение=с равенством", values["Свой"]

equipment = ET.parse(f"{folder}/written_equipment.xml").getroot()
assert equipment.tag == "Оборудование", equipment.tag
names = [check_device(d)[0].get("Наименование") for d in equipment.findall("Устройство")]
assert names == ["Считыватель_1", "Считыватель_2"], names
print("2 passed, 0 failed")
