#pragma once
// The one place that parses and writes XML: a small DOM over MSXML, late-bound.
// Texts are Windows-1251 on this side. Every document and node keeps COM
// initialised on its thread while it lives and undoes only its own
// initialisation, so a thread without COM has none again once the last of
// them is gone; keep them local to one operation and one thread.
#include <oaidl.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/win/com_init.h"
#include "foundation/win/com_ptr.h"
#include "foundation/win/variant.h"

namespace ra03v {

// Reading through a null node finds nothing; writing through one throws.
class XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const noexcept { return static_cast<bool>(node_); }
  // Reads the wrapped object without giving up the reference.
  IDispatch* Get() const noexcept { return node_.Get(); }

  // The attribute's text, or defaultValue when the node has no such attribute.
  std::string Attribute(std::string_view name, std::string_view defaultValue = {}) const;
  void SetAttribute(std::string_view name, std::string_view value) const;

  // Nodes matching an MSXML query, in document order.
  std::vector<XmlNode> SelectNodes(std::string_view query) const;
  // The first node matching query; a null node when none does.
  XmlNode SelectSingleNode(std::string_view query) const;
  // Elements below this node with the tag name (the DOM's own search).
  std::vector<XmlNode> ElementsByTagName(std::string_view name) const;

  XmlNode Parent() const;
  bool HasChildNodes() const;
  // Appends child and returns it.
  XmlNode AppendChild(const XmlNode& child) const;
  std::string Name() const;
  // The serialised node; an XML declaration in front is left out.
  std::string Xml() const;

 protected:
  using ComScope = std::shared_ptr<ComInit>;
  XmlNode(ComScope com, ComPtr<IDispatch> node) noexcept
      : com_(std::move(com)), node_(std::move(node)) {}
  XmlNode Wrap(ComPtr<IDispatch> node) const noexcept { return XmlNode(com_, std::move(node)); }
  const ComScope& Scope() const noexcept { return com_; }

  // Checked first: released after every object of the operation.
  ComScope com_;
  ComPtr<IDispatch> node_;

 private:
  std::vector<XmlNode> ListOf(const VARIANT& list) const;
};

class XmlDocument : public XmlNode {
 public:
  // A new empty document ("Msxml2.DOMDocument", else "MSXML.DOMDocument").
  static XmlDocument Create();
  // A new document from text, asynchronous loading off. Text that does not
  // parse leaves the document empty and Parsed() false.
  static XmlDocument Parse(std::string_view text);
  // An MSXML document or node the caller already holds, used as it is; its
  // document answers XPath queries until the last copy of this object is gone.
  static XmlDocument Use(IDispatch* object);

  bool Parsed() const noexcept { return parsed_; }
  // The document element; null for an empty document or a wrapped node.
  XmlNode Root() const;
  XmlNode CreateElement(std::string_view name) const;

 private:
  using XmlNode::XmlNode;

  // Gives a caller's document its query language back.
  class QueryLanguageRestore {
   public:
    QueryLanguageRestore(ComPtr<IDispatch> document, Variant previous) noexcept
        : document_(std::move(document)), previous_(std::move(previous)) {}
    ~QueryLanguageRestore();

   private:
    ComPtr<IDispatch> document_;
    Variant previous_;
  };

  bool parsed_ = false;
  // Released before the COM scope of the base.
  std::shared_ptr<QueryLanguageRestore> restore_;
};

}  // namespace ra03v
