#include "devices/xml_dom.h"

#include "foundation/text_codec.h"
#include "foundation/xml_helpers.h"
#include "foundation/win/late_binding.h"
#include "foundation/win/variant.h"

namespace ra03v {

namespace {

ComPtr<IDispatch> TakeDispatch(Variant value) {
  if (value.Type() != VT_DISPATCH) return {};
  return ComPtr<IDispatch>::Copy(V_DISPATCH(&value.Get()));
}

// MSXML keeps a declaration node when the source had one; documents handed
// out here never carry it.
std::string WithoutDeclaration(std::string text) {
  if (text.rfind("<?xml", 0) != 0) return text;
  size_t end = text.find("?>");
  if (end == std::string::npos) return text;
  end += 2;
  while (end < text.size() && (text[end] == '\r' || text[end] == '\n')) ++end;
  return text.substr(end);
}

// Queries are XPath: MSXML 3 would read them as XSL patterns, which some DOM
// implementations cannot match against Cyrillic names. The DOM of MSXML 2 has
// no such property and only knows patterns, which read these queries alike.
constexpr const wchar_t* kSelectionLanguage = L"SelectionLanguage";
constexpr const wchar_t* kXPath = L"XPath";

void SetQueryLanguage(IDispatch* document, const VARIANT& language) noexcept {
  try {
    const Variant name = Variant::FromText(kSelectionLanguage);
    CallMethod(document, L"setProperty", {&name.Get(), &language});
  } catch (const std::exception&) {
  }
}

void UseXPath(IDispatch* document) noexcept {
  SetQueryLanguage(document, Variant::FromText(kXPath).Get());
}

}  // namespace

std::string XmlNode::Attribute(std::string_view name, std::string_view defaultValue) const {
  if (!node_) return std::string(defaultValue);
  return GetAttributeDef(node_.Get(), name, defaultValue);
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) const {
  const Variant attributeName = Variant::From1251(name);
  const Variant attributeValue = Variant::From1251(value);
  CallMethod(node_.Get(), L"setAttribute", {&attributeName.Get(), &attributeValue.Get()});
}

std::vector<XmlNode> XmlNode::ListOf(const VARIANT& list) const {
  std::vector<XmlNode> nodes;
  if (V_VT(&list) != VT_DISPATCH || !V_DISPATCH(&list)) return nodes;
  IDispatch* items = V_DISPATCH(&list);
  const int count = GetProperty(items, L"length").ToInt();
  nodes.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const Variant index = Variant::FromInt(i);
    ComPtr<IDispatch> item = TakeDispatch(
        InvokeByName(items, L"item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {&index.Get()}));
    if (item) nodes.push_back(Wrap(std::move(item)));
  }
  return nodes;
}

std::vector<XmlNode> XmlNode::SelectNodes(std::string_view query) const {
  if (!node_) return {};
  const Variant text = Variant::From1251(query);
  return ListOf(CallMethod(node_.Get(), L"selectNodes", {&text.Get()}).Get());
}

XmlNode XmlNode::SelectSingleNode(std::string_view query) const {
  if (!node_) return {};
  const Variant text = Variant::From1251(query);
  return Wrap(TakeDispatch(CallMethod(node_.Get(), L"selectSingleNode", {&text.Get()})));
}

std::vector<XmlNode> XmlNode::ElementsByTagName(std::string_view name) const {
  if (!node_) return {};
  const Variant text = Variant::From1251(name);
  return ListOf(CallMethod(node_.Get(), L"getElementsByTagName", {&text.Get()}).Get());
}

XmlNode XmlNode::Parent() const {
  if (!node_) return {};
  return Wrap(TakeDispatch(GetProperty(node_.Get(), L"parentNode")));
}

bool XmlNode::HasChildNodes() const {
  if (!node_) return false;
  const Variant result = CallMethod(node_.Get(), L"hasChildNodes");
  return result.Type() == VT_BOOL && V_BOOL(&result.Get()) != VARIANT_FALSE;
}

XmlNode XmlNode::AppendChild(const XmlNode& child) const {
  VARIANT raw;
  VariantInit(&raw);
  V_VT(&raw) = VT_DISPATCH;
  V_DISPATCH(&raw) = child.Get();  // borrowed for the call only
  return Wrap(TakeDispatch(CallMethod(node_.Get(), L"appendChild", {&raw})));
}

std::string XmlNode::Name() const { return GetProperty(node_.Get(), L"nodeName").To1251(); }

std::string XmlNode::Xml() const {
  return WithoutDeclaration(GetProperty(node_.Get(), L"xml").To1251());
}

XmlDocument XmlDocument::Create() {
  auto com = std::make_shared<ComInit>();
  XmlDocument document(com, CreateXmlDocument());
  PutProperty(document.Get(), L"async", Variant::FromBool(false).Get());
  UseXPath(document.Get());
  return document;
}

XmlDocument XmlDocument::Parse(std::string_view text) {
  XmlDocument document = Create();
  const Variant source = Variant::From1251(text);
  const Variant loaded = CallMethod(document.Get(), L"loadXML", {&source.Get()});
  document.parsed_ = loaded.Type() == VT_BOOL && V_BOOL(&loaded.Get()) != VARIANT_FALSE;
  return document;
}

XmlDocument XmlDocument::Use(IDispatch* object) {
  auto com = std::make_shared<ComInit>();
  XmlDocument document(com, ComPtr<IDispatch>::Copy(object));
  document.parsed_ = object != nullptr;
  if (!object) return document;
  // A node is queried through its document.
  ComPtr<IDispatch> owner;
  try {
    owner = TakeDispatch(GetProperty(object, L"ownerDocument"));
  } catch (const std::exception&) {
  }
  if (!owner) owner = ComPtr<IDispatch>::Copy(object);
  // The caller's document gets its own query language back when we are done.
  Variant previous;
  try {
    const Variant name = Variant::FromText(kSelectionLanguage);
    previous = CallMethod(owner.Get(), L"getProperty", {&name.Get()});
  } catch (const std::exception&) {
    return document;  // a DOM without the property knows patterns only
  }
  if (previous.Type() == VT_BSTR && previous.ToText() == kXPath) return document;
  UseXPath(owner.Get());
  document.restore_ = std::make_shared<QueryLanguageRestore>(std::move(owner), std::move(previous));
  return document;
}

XmlDocument::QueryLanguageRestore::~QueryLanguageRestore() {
  SetQueryLanguage(document_.Get(), previous_.Get());
}

XmlNode XmlDocument::Root() const {
  if (!node_) return {};
  Variant root;
  try {
    root = GetProperty(node_.Get(), L"documentElement");
  } catch (const std::exception&) {
    return {};  // a wrapped element has no document element
  }
  return Wrap(TakeDispatch(std::move(root)));
}

XmlNode XmlDocument::CreateElement(std::string_view name) const {
  const Variant text = Variant::From1251(name);
  return Wrap(TakeDispatch(CallMethod(node_.Get(), L"createElement", {&text.Get()})));
}

}  // namespace ra03v
