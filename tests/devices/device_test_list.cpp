#include "device_test_list.h"

#include "foundation/system_info.h"

namespace ra03v::test {

std::unique_ptr<TDevicesList> ReaderLikeList(TDevicesList::DeviceFactory factory) {
  auto list = std::make_unique<TDevicesList>(std::move(factory));
  list->SetModelCode(TextToGuid(kModelCode));
  list->SetNamePrefix("Считыватель_");
  list->SetPropertyGroups(true, false, false);
  list->AddPropertyDescriptors(PortPropertyDescriptors());
  static constexpr TPropDescriptor kNote[] = {
      {"Примечание", "", "Примечание", "String", 0, "", "Свободный текст", nullptr}};
  list->AddPropertyDescriptors(kNote);
  list->SetPropertyDefault("IsOpen", "1", true);
  return list;
}

}  // namespace ra03v::test
