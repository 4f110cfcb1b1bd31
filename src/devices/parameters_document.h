#pragma once
// The parameters document ("Параметры") that tells the host a model's
// properties, written from a device list's property templates.
#include <string>

#include "devices/prop_list.h"

namespace ra03v {

// One "Параметр" element per template, in list order; attribute names keep
// the digit spelling that the readers look up.
std::string ParametersDocument(const TPropList& templates);

}  // namespace ra03v
