#include "devices/model_list.h"

#include "devices/number_text.h"
#include "devices/text_compare.h"
#include "devices/xml_dom.h"
#include "foundation/system_info.h"
#include "foundation/text_codec.h"
#include "foundation/text_utils.h"

namespace ra03v {

namespace {

constexpr std::string_view kClassFilter = "ИдентификаторКлассаОборудования";

int32_t IntAttribute(const XmlNode& node, std::string_view name) {
  return StrToIntDef(node.Attribute(name), 0);
}

}  // namespace

TModelItem::TModelItem(TModelList* list) : TBaseItem(list) {
  auto parameters = std::make_unique<TParameterList>();
  parameters->SetOwner(list);
  if (list) parameters->SetSourceDocument(list->SourceDocument());
  // Changes of the parameters reach whoever listens to this model.
  parameters->SetOnChange(OnChange());
  SetChildren(std::move(parameters));
}

void TModelItem::SetCode(const GUID& value) {
  if (SameGuid(FCode, value)) return;
  FCode = value;
  SetModified(true);
}

void TModelItem::LoadParameters(const XmlNode& modelNode) {
  TParameterList& parameters = Parameters();
  for (int i = 0; i < parameters.Count(); ++i) parameters.Param(i).SetMark(false);
  const std::vector<XmlNode> nodes = modelNode.SelectNodes("Параметры/Параметр");
  for (size_t k = 0; k < nodes.size(); ++k) {
    const XmlNode& node = nodes[k];
    const std::string identifier = node.Attribute("Идентификатор");
    TParameterItem* parameter = parameters.FindByName(identifier);
    if (!parameter) parameter = &parameters.Insert(static_cast<int>(k));
    parameter->SetMark(true);
    parameter->SetParamName(identifier);
    parameter->SetParamDescription(node.Attribute("Наименование"));
    parameter->SetParamType(node.Attribute("Тип"));
    const std::string defaultValue = node.Attribute("Зна4ениеПоУмол4анию");
    parameter->SetParamValue(defaultValue);
    parameter->SetParamDefault(defaultValue);
    parameter->SetParamHint(node.Attribute("Описание"));
    // "0" in front: an absent flag reads 0; text that is no number reads 0 too.
    std::string flag = "0";
    flag += node.Attribute("ФлагТолько4тение");
    parameter->SetParamReadOnly(StrToIntDef(flag, 0));
  }
  for (int i = parameters.Count() - 1; i >= 0; --i)
    if (!parameters.Param(i).Mark()) parameters.Delete(i);
}

void TModelItem::LoadChildren() {
  const auto& source = Parameters().SourceDocument();
  if (!source) return;
  const XmlDocument document = XmlDocument::Parse(*source);
  const std::vector<XmlNode> models = document.SelectNodes(kModelQuery);
  if (sourceIndex_ >= 0 && static_cast<size_t>(sourceIndex_) < models.size())
    LoadParameters(models[static_cast<size_t>(sourceIndex_)]);
  else
    LoadParameters(XmlNode());
}

TModelItem& TModelList::Add() {
  return static_cast<TModelItem&>(InsertItem(Count(), std::make_unique<TModelItem>(this)));
}

bool TModelList::Accepts(const XmlNode& model) const {
  for (const auto& [attribute, hex] : Filters()) {
    const std::string compared = SameText(attribute, kClassFilter)
                                     ? model.Parent().Attribute("Идентификатор")
                                     : model.Attribute(attribute, "0");
    if (!SameText(compared, HexToBytes(hex))) return false;
  }
  return true;
}

void TModelList::Load() {
  if (!SourceDocument()) return;
  const XmlDocument document = XmlDocument::Parse(*SourceDocument());
  LoadFrom(document);
}

void TModelList::LoadFrom(const XmlNode& document) {
  const std::vector<XmlNode> nodes = document.SelectNodes(kModelQuery);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const XmlNode& node = nodes[i];
    if (!Accepts(node)) continue;
    // Read before appending, so a bad code leaves no half-filled model.
    const GUID code = TextToGuid(node.Attribute("Код"));
    TModelItem& model = Add();
    model.SetSourceIndex(static_cast<int>(i));
    model.SetCode(code);
    model.SetIdentif(node.Attribute("Идентификатор"));
    model.SetFileName(node.Attribute("Библиотека"));
    model.SetDescription(node.Attribute("Наименование"));
    model.SetClassIdentif(node.Parent().Attribute("Идентификатор"));
    model.SetNeedMorv(IntAttribute(node, "ИспользуетMorv"));
    model.SetVersion(IntAttribute(node, "Версия"));
    if (!model.SetState(IntAttribute(node, "Состояние"))) continue;  // withdrawn model, freed
    model.SetFilePLUVersion(node.Attribute("ВерсияPLU"));
    model.SetRelease(IntAttribute(node, "Релиз"));
    model.SetModified(false);
    // From the model's own element: models sharing a code keep their own parameters.
    model.LoadParameters(node);
  }
}

TModelItem* TModelList::FindByCode(const GUID& code) {
  for (int i = 0; i < Count(); ++i) {
    TModelItem& model = Model(i);
    if (!SameGuid(model.Code(), code)) continue;
    if (!AnyState() && model.State() == 1) continue;
    model.SetList(this);
    return &model;
  }
  return nullptr;
}

std::unique_ptr<TModelList> CreateModelList(const VARIANT& document, std::string_view code,
                                            std::string_view identifier, std::string_view library,
                                            std::string_view classIdentifier, std::string_view name,
                                            std::string_view state) {
  const VARIANT* value = &document;
  if ((V_VT(value) & VT_BYREF) && V_VT(value) == (VT_BYREF | VT_VARIANT))
    value = V_VARIANTREF(value);
  const VARTYPE kind = V_VT(value) & ~VT_BYREF;
  const bool byRef = (V_VT(value) & VT_BYREF) != 0;

  auto list = std::make_unique<TModelList>();
  XmlDocument source;
  std::string text;
  if (kind == VT_BSTR) {
    const BSTR bstr = byRef ? *V_BSTRREF(value) : V_BSTR(value);
    text = DocumentTextTo1251(std::wstring_view(bstr ? bstr : L"", SysStringLen(bstr)));
    source = XmlDocument::Parse(text);
  } else if (kind == VT_DISPATCH && (byRef ? *V_DISPATCHREF(value) : V_DISPATCH(value))) {
    source = XmlDocument::Use(byRef ? *V_DISPATCHREF(value) : V_DISPATCH(value));
    text = source.Xml();
  } else {
    return list;
  }
  list->SetSourceDocument(std::make_shared<const std::string>(std::move(text)));

  const std::pair<std::string_view, std::string_view> filters[] = {
      {"Код", code},           {"Идентификатор", identifier},
      {"Библиотека", library}, {kClassFilter, classIdentifier},
      {"Наименование", name},  {"Состояние", state}};
  for (const auto& [attribute, filter] : filters)
    if (!filter.empty() && filter != "*") list->AddFilter(attribute, filter);

  list->LoadFrom(source);
  list->SetModified(false);
  list->ClearFilters();
  return list;
}

std::unique_ptr<TModelList> CreateLibraryCatalog(const VARIANT& document) {
  const std::string path = ModulePath();
  const size_t slash = path.find_last_of("\\/");
  const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  return CreateModelList(document, "", "", fileName, "", "", "0");
}

}  // namespace ra03v
