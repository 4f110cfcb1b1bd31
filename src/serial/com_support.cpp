#include "serial/com_support.h"

#include "foundation/error_codes.h"
#include "foundation/message_pump.h"

namespace ra03v {

TComSupport::TComSupport() : port_(std::make_unique<TComPort>()) {
  port_->Buffer().SetInputSize(8192);
  port_->Buffer().SetOutputSize(8192);
  port_->SetSyncMethod(smNone);
  // Event thread: the handler field is read without a lock, as the port manager
  // registers it before opening and clears it only while closed.
  port_->OnRxChar = [this](TCustomComPort& sender, int32_t count) {
    if (receiveHandler_) receiveHandler_(sender, static_cast<uint16_t>(count));
  };
}

TComSupport::~TComSupport() {
  port_.reset();
  receiveHandler_ = nullptr;
}

void TComSupport::SetPortNumber(int32_t n) { port_->SetPort("COM" + std::to_string(n)); }

void TComSupport::SetBaud(int32_t bitsPerSecond) {
  static constexpr struct {
    int32_t bits;
    TBaudRate rate;
  } kTable[] = {{115200, br115200}, {57600, br57600}, {38400, br38400},
                {19200, br19200},   {9600, br9600},   {4800, br4800},
                {2400, br2400},     {1200, br1200},   {300, br300}};
  for (const auto& row : kTable) {
    if (row.bits == bitsPerSecond) {
      port_->SetBaudRate(row.rate);
      return;
    }
  }
  port_->SetCustomBaudRate(bitsPerSecond);
  port_->SetBaudRate(brCustom);
}

void TComSupport::SetDataBits(int32_t bits) {
  switch (bits) {
    case 8:
      port_->SetDataBits(dbEight);
      break;
    case 7:
      port_->SetDataBits(dbSeven);
      break;
    case 6:
      port_->SetDataBits(dbSix);
      break;
    case 5:
      port_->SetDataBits(dbFive);
      break;
    default:
      RaiseText("SetDataBits");
  }
}

void TComSupport::SetStopBits(int32_t bits) {
  switch (bits) {
    case 2:
      port_->SetStopBits(sbTwoStopBits);
      break;
    case 1:
      port_->SetStopBits(sbOneStopBit);
      break;
    default:
      RaiseText("SetStopBits");
  }
}

void TComSupport::SetParityBits(int32_t ordinal) {
  if (ordinal < 0 || ordinal > static_cast<int32_t>(kLastParityBits))
    RaiseOutOfRange("Parity.Bits", static_cast<unsigned>(ordinal));
  port_->Parity().SetBits(static_cast<TParityBits>(ordinal));
}

void TComSupport::SetXonXoffMode(int32_t mode) {
  if (mode < 0 || mode > 3) return;
  port_->FlowControl().SetXonXoffOut(mode == 2 || mode == 3);
  port_->FlowControl().SetXonXoffIn(mode == 1 || mode == 3);
}

void TComSupport::SetXonChar(int32_t code) {
  port_->FlowControl().SetXonChar(static_cast<char>(code & 0xFF));
}

void TComSupport::SetXoffChar(int32_t code) {
  port_->FlowControl().SetXoffChar(static_cast<char>(code & 0xFF));
}

void TComSupport::SetPortOpen(bool open) {
  if (port_->Connected()) {
    PumpedDelay(10);
    port_->Close();
  } else if (open) {
    port_->Open();
  }
}

}  // namespace ra03v
