#pragma once
// TComSupport: the port manager's adapter to its serial port. Owns the port
// with the system's fixed choices, turns plain setting numbers into the port's
// enumerations and forwards received-bytes notifications to one handler.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/com_port.h"

namespace ra03v {

// Receives the port and the number of bytes queued (event thread).
using TComReceiveHandler = std::function<void(TCustomComPort& sender, uint16_t count)>;

class TComSupport {
 public:
  TComSupport();
  ~TComSupport();
  TComSupport(const TComSupport&) = delete;
  TComSupport& operator=(const TComSupport&) = delete;

  bool IsConnected() const noexcept { return port_->Connected(); }
  // Always 0: nothing waits inside this object.
  int32_t PendingCount() const noexcept { return 0; }
  std::string Version() const { return "0.1"; }
  int32_t SendText(const std::string& text) { return port_->WriteText(text); }

  // "COM" followed by n; an open port on another name is closed and reopened.
  void SetPortNumber(int32_t n);
  void SetBaud(int32_t bitsPerSecond);
  // 5 to 8; anything else raises "SetDataBits" and changes nothing.
  void SetDataBits(int32_t bits);
  // 1 or 2; anything else raises "SetStopBits" and changes nothing.
  void SetStopBits(int32_t bits);
  // Ordinal 0 to 4; anything else is refused and changes nothing.
  void SetParityBits(int32_t ordinal);
  // 0: both off, 1: receive only, 2: transmit only, 3: both; others change nothing.
  void SetXonXoffMode(int32_t mode);
  void SetXonChar(int32_t code);
  void SetXoffChar(int32_t code);
  void SetReceiveHandler(TComReceiveHandler handler) { receiveHandler_ = std::move(handler); }

  // Closes an open port (after a 10 ms pumped pause) whatever open says;
  // opens a closed one when open is true.
  void SetPortOpen(bool open);

  // Accepted and ignored: the port's fixed choices stay.
  void SetEventWord(int32_t) noexcept {}
  void SetRS485Mode(bool) noexcept {}
  void SetBaseAddress(int32_t) noexcept {}
  void SetInSize(int32_t) noexcept {}
  void SetOutSize(int32_t) noexcept {}
  void SetBufferFull(int32_t) noexcept {}
  void SetBufferResume(int32_t) noexcept {}
  void SetUnusedFlag(bool) noexcept {}
  void AfterOpen() noexcept {}

  TComPort& Port() noexcept { return *port_; }

 private:
  TComReceiveHandler receiveHandler_;
  std::unique_ptr<TComPort> port_;
};

}  // namespace ra03v
