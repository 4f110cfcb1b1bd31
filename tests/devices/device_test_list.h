#pragma once
// A device list set up the way the reader's list is: model code, name prefix,
// the common and port templates, port properties exposed, plus a text template.
#include <memory>

#include "devices/devices_list.h"

namespace ra03v::test {

inline constexpr char kModelCode[] = "{C7C345A0-2C38-411D-AE5B-CEA387564725}";

std::unique_ptr<TDevicesList> ReaderLikeList(TDevicesList::DeviceFactory factory = {});

}  // namespace ra03v::test
