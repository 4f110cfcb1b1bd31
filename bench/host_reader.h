#pragma once
// One RA-03V reader as a host drives it through the shipping DLL: configured
// with "НастроитьУстройства" on a COM port, switched on and off by calls for
// its device, its card events delivered to the host's sink.
#include <windows.h>

#include <string>

#include "test_host.h"

namespace ra03v::bench {

class HostReader {
 public:
  // Loads the DLL, hands it sink and configures the reader on COM<comNumber>;
  // throws std::runtime_error with the driver's message when that fails.
  // The sink must outlive this object: the driver holds it until released.
  // moreParameters: further "Параметр" elements of the reader's settings.
  HostReader(ra03v_host::EventSink& sink, int comNumber, const std::wstring& moreParameters = L"");
  ~HostReader();
  HostReader(const HostReader&) = delete;
  HostReader& operator=(const HostReader&) = delete;

  // "Включить" / "Выключить"; on failure error gets the driver's message.
  bool SwitchOn(std::wstring* error = nullptr);
  bool SwitchOff(std::wstring* error = nullptr);

 private:
  bool DeviceCall(const wchar_t* method, std::wstring* error);

  ra03v_host::Driver driver_;
  GUID code_{};
};

// The driver's (possibly Russian) messages in the console's ANSI code page.
std::string ConsoleText(const std::wstring& text);

}  // namespace ra03v::bench
