#include "serial/com_settings.h"

#include <string>

#include "foundation/error_codes.h"
#include "serial/com_port.h"

namespace ra03v {

void RaiseOutOfRange(const char* property, unsigned value) {
  RaiseText(std::string("Invalid value ") + std::to_string(value) + " for " + property);
}

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& source) {
  readInterval_ = source.readInterval_;
  readTotalMultiplier_ = source.readTotalMultiplier_;
  readTotalConstant_ = source.readTotalConstant_;
  writeTotalMultiplier_ = source.writeTotalMultiplier_;
  writeTotalConstant_ = source.writeTotalConstant_;
  Changed();
  return *this;
}

COMMTIMEOUTS TComTimeouts::ToDevice() const noexcept {
  // -1 is the interface's all-ones value: the cast keeps every bit.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = static_cast<DWORD>(readInterval_);
  t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(readTotalMultiplier_);
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(readTotalConstant_);
  t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(writeTotalMultiplier_);
  t.WriteTotalTimeoutConstant = static_cast<DWORD>(writeTotalConstant_);
  return t;
}

void TComTimeouts::Set(int32_t& field, int32_t value) {
  if (field == value) return;
  field = value;
  Changed();
}

void TComTimeouts::Changed() {
  if (port_) port_->ApplyTimeoutSettings();
}

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& source) {
  outCTSFlow_ = source.outCTSFlow_;
  outDSRFlow_ = source.outDSRFlow_;
  controlDTR_ = source.controlDTR_;
  controlRTS_ = source.controlRTS_;
  xonXoffOut_ = source.xonXoffOut_;
  xonXoffIn_ = source.xonXoffIn_;
  dsrSensitivity_ = source.dsrSensitivity_;
  txContinueOnXoff_ = source.txContinueOnXoff_;
  xonChar_ = source.xonChar_;
  xoffChar_ = source.xoffChar_;
  Changed();
  return *this;
}

TFlowControl TComFlowControl::FlowControl() const noexcept {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
  if (value > kLastDTRFlowControl) RaiseOutOfRange("FlowControl.ControlDTR", value);
  Set(controlDTR_, value);
}

void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
  if (value > kLastRTSFlowControl) RaiseOutOfRange("FlowControl.ControlRTS", value);
  Set(controlRTS_, value);
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
  if (value > kLastFlowControl) RaiseOutOfRange("FlowControl.FlowControl", value);
  if (value != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = xonXoffIn_ = xonXoffOut_ = false;
    if (value == fcHardware) {
      controlRTS_ = rtsHandshake;
      outCTSFlow_ = true;
    } else if (value == fcSoftware) {
      xonXoffIn_ = xonXoffOut_ = true;
    }
  }
  Changed();
}

void TComFlowControl::Changed() {
  if (port_) port_->ApplyLineSettings();
}

TComParity& TComParity::operator=(const TComParity& source) {
  bits_ = source.bits_;
  check_ = source.check_;
  replace_ = source.replace_;
  replaceChar_ = source.replaceChar_;
  Changed();
  return *this;
}

void TComParity::SetBits(TParityBits value) {
  if (value > kLastParityBits) RaiseOutOfRange("Parity.Bits", value);
  Set(bits_, value);
}

void TComParity::Changed() {
  if (port_) port_->ApplyLineSettings();
}

TComBuffer& TComBuffer::operator=(const TComBuffer& source) {
  inputSize_ = source.inputSize_;
  outputSize_ = source.outputSize_;
  if (port_) port_->ApplyBufferSizes();
  return *this;
}

void TComBuffer::Set(int32_t& field, int32_t value) {
  if (value > 0 && value % 2 == 1) --value;
  if (field == value) return;
  field = value;
  if (port_) port_->ApplyBufferSizes();
}

}  // namespace ra03v
