// Figures for the device list: writing the equipment document of many
// devices, loading it back into a fresh list, and building property tables.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "devices/devices_list.h"
#include "foundation/system_info.h"
#include "foundation/win/com_init.h"
#include "foundation/win/variant.h"

#include "bench_timing.h"

namespace {

using ra03v::bench::BestMs;

constexpr char kModel[] = "{C7C345A0-2C38-411D-AE5B-CEA387564725}";

std::unique_ptr<ra03v::TDevicesList> NewList() {
  auto list = std::make_unique<ra03v::TDevicesList>();
  list->SetModelCode(ra03v::TextToGuid(kModel));
  list->SetNamePrefix("Считыватель_");
  list->SetPropertyGroups(true, false, false);
  list->AddPropertyDescriptors(ra03v::PortPropertyDescriptors());
  return list;
}

}  // namespace

int main() {
  ra03v::ComInit com;  // one apartment for the whole run, as a host thread has
  constexpr int kDevices = 50;
  auto list = NewList();
  for (int i = 0; i < kDevices; ++i) list->AppendDevice();

  std::string xml;
  const ra03v::Variant allKey = ra03v::Variant::FromInt(0);
  const double writeMs = BestMs(5, [&] { list->GetSettingsXML(allKey.Get(), xml); });
  std::printf("equipment document of %d devices: %.1f ms, %zu bytes\n", kDevices, writeMs,
              xml.size());

  const ra03v::Variant document = ra03v::Variant::From1251(xml);
  double loadMs = 1e300;
  double freeMs = 1e300;
  for (int round = 0; round < 3; ++round) {
    auto fresh = NewList();
    loadMs = std::min(loadMs, BestMs(1, [&] { fresh->LoadDevices(document.Get()); }));
    freeMs = std::min(freeMs, BestMs(1, [&] { fresh.reset(); }));
  }
  std::printf("loading it into a new list: %.1f ms; freeing those %d devices: %.1f ms\n", loadMs,
              kDevices, freeMs);

  ra03v::Variant table;
  const double tableMs = BestMs(20, [&] { list->DeviceAt(0).GetPropsTable(table); });
  std::printf("property table of one device: %.2f ms\n", tableMs);
  return 0;
}
