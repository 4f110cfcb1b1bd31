#pragma once
// Which port devices a settings dialog may test, and the test itself.
#include <string>
#include <string_view>

namespace ra03v {

struct PortEntryDevice {
  bool usable = false;  // the device uses this kind of port
  std::wstring name;    // the device to test; empty when there is none
};

// For a port list entry ("COM 3", "LPT 1", the network printer): upper-cases
// the text, then "C..." gives COM<second word> when serial ports are usable,
// "L..." gives LPT<second word> when printer ports are usable, and anything
// else the trimmed printer name when printer ports are usable.
PortEntryDevice DeviceOfPortEntry(std::wstring_view entryText, bool serialUsable,
                                  bool printerUsable, std::wstring_view printerName);

// Opens "\\.\<name>" the way the serial port does (read and write, not shared,
// existing device, overlapped) and closes it at once: whether a handle came back.
bool TryOpenPort(const std::wstring& name) noexcept;

// The picture number of an entry: 3 for an unusable kind, else 1 when its
// device opens and 2 when it does not (or has no name).
int PortEntryPicture(const PortEntryDevice& device);

}  // namespace ra03v
