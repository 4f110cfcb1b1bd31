#include "devices/parameters_document.h"

#include "devices/prop_values.h"
#include "devices/xml_dom.h"

namespace ra03v {

std::string ParametersDocument(const TPropList& templates) {
  const XmlDocument document = XmlDocument::Parse("<Параметры/>");
  const XmlNode root = document.Root();
  for (const auto& item : templates) {
    const XmlNode parameter = document.CreateElement("Параметр");
    parameter.SetAttribute("Идентификатор", item->Identifier());
    parameter.SetAttribute("Наименование", item->Name());
    parameter.SetAttribute("Тип", ShownTypeWord(item->Type()));
    parameter.SetAttribute("ФлагТолько4тение", item->ReadOnly() ? "1" : "0");
    parameter.SetAttribute("Зна4ениеПоУмол4анию", item->Default());
    parameter.SetAttribute("Описание", ShownToStoredLineBreaks(item->Description()));
    root.AppendChild(parameter);
  }
  return document.Xml();
}

}  // namespace ra03v
