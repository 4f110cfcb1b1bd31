#pragma once
// Creating MSXML documents and reading attributes, late-bound.
#include <oaidl.h>

#include <string>
#include <string_view>

#include "foundation/win/com_ptr.h"

namespace ra03v {

// "Msxml2.DOMDocument", or "MSXML.DOMDocument" when that cannot be created.
// The calling thread must have COM initialised.
ComPtr<IDispatch> CreateXmlDocument();

// The attribute's text (Windows-1251); defaultValue when node is null or has
// no such attribute.
std::string GetAttributeDef(IDispatch* node, std::string_view name, std::string_view defaultValue);

}  // namespace ra03v
