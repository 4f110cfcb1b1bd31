#include "test_host.h"

namespace ra03v_host {

std::wstring ReaderDeviceElement(const GUID& code, const std::wstring& name, int comNumber,
                                 const std::wstring& moreParameters) {
  return L"<Устройство Код=\"" + GuidText(code) + L"\" КодМодели=\"" + kReaderModelCode +
         L"\" Наименование=\"" + name +
         L"\"><Параметры><Параметр Идентификатор=\"ComNumber\" Значение=\"" +
         std::to_wstring(comNumber) + L"\"/>" + moreParameters + L"</Параметры></Устройство>";
}

std::wstring EquipmentDocument(const std::wstring& devices) {
  return L"<Оборудование>" + devices + L"</Оборудование>";
}

}  // namespace ra03v_host
