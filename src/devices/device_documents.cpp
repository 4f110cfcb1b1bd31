// The XML documents a device list exchanges with the host: device settings
// (current and old format), the equipment document, the parameters document
// and the model description.
#include "devices/device_item.h"
#include "devices/devices_list.h"
#include "devices/parameters_document.h"
#include "devices/text_compare.h"
#include "devices/xml_dom.h"
#include "foundation/error_codes.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/text_utils.h"

namespace ra03v {

namespace {

// A document text as the readers take it: without CR LF, in the digit spelling.
std::string PreparedText(const VARIANT& source) {
  std::string text =
      ReplaceAll(DocumentTextTo1251(Variant::Copy(source).ToText()), "\r\n", "", true);
  ConvertSpelling(text, SpellingDirection::ToDigitForm);
  return text;
}

bool IsText(const VARIANT& value) { return (V_VT(&value) & ~VT_BYREF) == VT_BSTR; }

// The object of a VT_DISPATCH or VT_UNKNOWN value (by reference too); null otherwise.
ComPtr<IDispatch> ObjectOf(const VARIANT& value) {
  const Variant copy = Variant::Copy(value);
  const VARTYPE type = copy.Type();
  if (type != VT_DISPATCH && type != VT_UNKNOWN) return {};
  IUnknown* unknown = V_UNKNOWN(&copy.Get());
  if (!unknown) return {};
  ComPtr<IDispatch> object;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, object.PutVoid()))) return {};
  return object;
}

// Some element with that tag below root has child nodes.
bool AnyWithChildren(const XmlNode& root, std::string_view tag) {
  for (const XmlNode& node : root.ElementsByTagName(tag))
    if (node.HasChildNodes()) return true;
  return false;
}

[[noreturn]] void RaiseNoSettingsElement() {
  RaiseText("Документ настроек устройства не содержит элемента");
}

}  // namespace

std::string TDeviceItem::SaveSettingsXML() {
  const XmlDocument document = XmlDocument::Parse("<Устройство/>");
  const XmlNode root = document.Root();
  root.SetAttribute("Код", GuidToText(DeviceCode()));
  root.SetAttribute("КодМодели", GuidToText(DeviceList().ModelCode()));
  root.SetAttribute("Наименование", FDeviceName);
  root.SetAttribute("КодТо4киДоступа", "");
  TNameValueList lines;
  for (const auto& item : FProps) lines.Set(item->Identifier(), item->Value());
  StorePortSettings(&lines);
  const XmlNode parameters = document.CreateElement("Параметры");
  for (const auto& [name, value] : lines) {
    const XmlNode parameter = document.CreateElement("Параметр");
    parameter.SetAttribute("Идентификатор", name);
    parameter.SetAttribute("Зна4ение", value);
    parameters.AppendChild(parameter);
  }
  root.AppendChild(parameters);
  return document.Xml();
}

int32_t TDeviceItem::LoadSettings(const VARIANT& source) {
  if (IsText(source)) {
    const XmlDocument document = XmlDocument::Parse(PreparedText(source));
    // A text that does not parse has no element to read settings from.
    if (!document.Root()) RaiseNoSettingsElement();
    return LoadSettingsFrom(document.Root());
  }
  const ComPtr<IDispatch> object = ObjectOf(source);
  if (!object) return kResultOk;
  const XmlDocument document = XmlDocument::Use(object.Get());
  if (XmlNode root = document.Root()) return LoadSettingsFrom(root);
  if (document.Name() == "#document") RaiseNoSettingsElement();
  return LoadSettingsFrom(document);
}

int32_t TDeviceItem::LoadSettingsFrom(const XmlNode& element) {
  const bool oldFormat =
      AnyWithChildren(element, "ComPort") || AnyWithChildren(element, "Дополнительно");
  if (oldFormat) {
    // Paths below this element only: a device element inside an equipment
    // document must not take its neighbours' items.
    const GUID code = TextToGuid(element.Attribute("Код"));
    TNameValueList port;
    for (const XmlNode& item : element.SelectNodes(".//Параметры/ComPort/Item"))
      port.Set(item.Attribute("Имя"), item.Attribute("Зна4ение"));
    TNameValueList extra;
    for (const XmlNode& item : element.SelectNodes(".//Параметры/Дополнительно/Item"))
      extra.Set(item.Attribute("Имя"), item.Attribute("Зна4ение"));
    SetDeviceCode(code);
    FDeviceName = element.Attribute("Описание");
    ApplyPortSettings(&port);
    FProps.ApplyList(extra);
    return SettingsLoaded();
  }

  const GUID code = TextToGuid(element.Attribute("Код"));
  const GUID modelCode = TextToGuid(element.Attribute("КодМодели"));
  TNameValueList lines;
  for (const XmlNode& parameter : element.SelectNodes(".//Параметры/Параметр"))
    lines.Set(parameter.Attribute("Идентификатор"), parameter.Attribute("Зна4ение"));
  SetDeviceCode(code);
  FDeviceName = element.Attribute("Наименование");
  ApplyPortSettings(&lines);
  FProps.ApplyList(lines);

  if (TModelList* models = DeviceList().Models()) {
    if (TModelItem* model = models->FindByCode(modelCode)) {
      for (const auto& item : FProps) {
        if (!item->Type().empty()) continue;
        const TParameterItem* parameter = model->Parameters().FindByName(item->Identifier());
        if (!parameter) continue;
        item->SetName(parameter->ParamDescription());
        item->SetType(parameter->ParamType());
        item->SetReadOnly(parameter->ParamReadOnly() != 0);
        item->SetDefault(parameter->ParamDefault());
        item->SetDescription(parameter->ParamHint());
      }
    }
  }
  return SettingsLoaded();
}

int32_t TDevicesList::GetSettingsXML(const VARIANT& key, std::string& xml) {
  GUID code{};
  const Variant text = Variant::Copy(key);
  if (text.Type() == VT_BSTR && !text.ToText().empty() && ValueToGuid(text.Get(), code)) {
    TDeviceItem* device = FindByCode(code);
    if (!device) return kResultNoDevice;
    xml = device->SaveSettingsXML();
    return kResultOk;
  }
  std::string all = "<Оборудование>";
  for (int i = 0; i < Count(); ++i) all += DeviceAt(i).SaveSettingsXML();
  all += "</Оборудование>";
  xml = std::move(all);
  return kResultOk;
}

int32_t TDevicesList::LoadDevices(const VARIANT& document) {
  XmlDocument source;
  if (IsText(document)) {
    std::string text = PreparedText(document);
    source = XmlDocument::Parse(text);
    FLastDocument = std::move(text);
  } else if (const ComPtr<IDispatch> object = ObjectOf(document)) {
    source = XmlDocument::Use(object.Get());
    FLastDocument = source.Xml();
  } else {
    return kResultOk;
  }
  FModels.reset();
  const std::string query = "//Устройство[@КодМодели=\"" + GuidToText(FModelCode) + "\"]";
  for (const XmlNode& element : source.SelectNodes(query)) {
    const GUID code = TextToGuid(element.Attribute("Код"));
    TDeviceItem* device = FindByCode(code);
    if (!device) device = &AppendDevice();
    device->LoadSettingsFrom(element);
  }
  return kResultOk;
}

std::string TDevicesList::ParametersXML() const { return ParametersDocument(FPropTemplates); }

void TDevicesList::LoadModelDescription(std::string& text) {
  if (text.empty()) return;
  ConvertSpelling(text, SpellingDirection::ToDigitForm);
  const XmlDocument document = XmlDocument::Parse(text);
  const std::string library = LibraryFileName();
  for (const XmlNode& model : document.SelectNodes("//Модель")) {
    if (!SameText(model.Attribute("Библиотека"), library)) continue;
    FModelIdentifier = model.Attribute("Идентификатор");
    FNamePrefix = model.Attribute("Наименование") + " №";
    for (const XmlNode& node : model.SelectNodes("Параметры/Параметр")) {
      const std::string identifier = node.Attribute("Идентификатор");
      TPropItem* item = FPropTemplates.Find(identifier);
      if (!item) item = &FPropTemplates.Add();
      item->SetIdentifier(identifier);
      item->SetName(node.Attribute("Наименование"));
      item->SetType(node.Attribute("Тип"));
      item->SetReadOnly(node.Attribute("ФлагТолько4тение") == "1");
      item->SetDefault(node.Attribute("Зна4ениеПоУмол4анию"));
      item->SetDescription(node.Attribute("Описание"));
      item->SetValue(item->Default());
    }
  }
}

}  // namespace ra03v
