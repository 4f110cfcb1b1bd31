#include "host_reader.h"

#include <stdexcept>

#include "shipping_dll.h"

namespace ra03v::bench {

std::string ConsoleText(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  return out;
}

HostReader::HostReader(ra03v_host::EventSink& sink, int comNumber,
                       const std::wstring& moreParameters)
    : driver_(ShippingDllPath()) {
  auto events = driver_.Control("__@@EventSupport", sink.Interface());
  if (events->Get()->HasError)
    throw std::runtime_error("event support: " + ConsoleText(events->ErrorDescription()));
  CoCreateGuid(&code_);
  const std::wstring document = ra03v_host::EquipmentDocument(
      ra03v_host::ReaderDeviceElement(code_, L"Считыватель", comNumber, moreParameters));
  ra03v_host::Task task(RA03V_TASK_CLASS_INTERNAL);
  auto configured =
      driver_.Method(L"НастроитьУстройства", {ra03v_host::Value::Text(document)}, &task);
  if (configured->Get()->HasError)
    throw std::runtime_error("configuring the reader: " +
                             ConsoleText(configured->ErrorDescription()));
}

// The driver lets go of its readers and of the host's sink before it is unloaded.
HostReader::~HostReader() { driver_.Control("__FRee"); }

bool HostReader::SwitchOn(std::wstring* error) { return DeviceCall(L"Включить", error); }

bool HostReader::SwitchOff(std::wstring* error) { return DeviceCall(L"Выключить", error); }

bool HostReader::DeviceCall(const wchar_t* method, std::wstring* error) {
  ra03v_host::Task task(RA03V_TASK_CLASS_THREAD);
  task.SetDevice(code_);
  auto block = driver_.Method(method, {ra03v_host::Value()}, &task);
  if (!block->Get()->HasError) return true;
  if (error) *error = block->ErrorDescription();
  return false;
}

}  // namespace ra03v::bench
