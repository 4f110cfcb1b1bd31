#include "ui/port_availability.h"

#include <windows.h>

#include "foundation/win/unique_handle.h"
#include "ui/port_pictures.h"

namespace ra03v {
namespace {

std::wstring Upper(std::wstring_view text) {
  std::wstring upper(text);
  if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

// The second word of a text split at single spaces ("COM 3" gives "3").
std::wstring SecondWord(std::wstring_view text) {
  const size_t first = text.find(L' ');
  if (first == std::wstring_view::npos) return {};
  const std::wstring_view rest = text.substr(first + 1);
  return std::wstring(rest.substr(0, rest.find(L' ')));
}

std::wstring Trimmed(std::wstring_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] <= L' ') ++begin;
  while (end > begin && text[end - 1] <= L' ') --end;
  return std::wstring(text.substr(begin, end - begin));
}

}  // namespace

PortEntryDevice DeviceOfPortEntry(std::wstring_view entryText, bool serialUsable,
                                  bool printerUsable, std::wstring_view printerName) {
  const std::wstring text = Upper(entryText);
  PortEntryDevice device;
  if (!text.empty() && text[0] == L'C') {
    device.usable = serialUsable;
    if (serialUsable) device.name = L"COM" + SecondWord(text);
  } else if (!text.empty() && text[0] == L'L') {
    device.usable = printerUsable;
    if (printerUsable) device.name = L"LPT" + SecondWord(text);
  } else {
    device.usable = printerUsable;
    if (printerUsable) device.name = Trimmed(printerName);
  }
  return device;
}

bool TryOpenPort(const std::wstring& name) noexcept {
  try {
    const std::wstring path = L"\\\\.\\" + name;
    FileHandle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    return port.IsValid();
  } catch (...) {
    return false;
  }
}

int PortEntryPicture(const PortEntryDevice& device) {
  if (!device.usable) return kPictureKindUnusable;
  if (device.name.empty()) return kPicturePortBusy;
  return TryOpenPort(device.name) ? kPicturePortFree : kPicturePortBusy;
}

}  // namespace ra03v
