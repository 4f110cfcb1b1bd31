#pragma once
// The port's four settings objects. Each may stand alone (no port) or belong to
// a port, which it asks to re-apply its group whenever one of its values changes.
#include <cstdint>

#include "serial/com_types.h"

namespace ra03v {

class TCustomComPort;

class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort* port = nullptr) noexcept : port_(port) {}
  TComTimeouts(const TComTimeouts&) = delete;
  // Copies every value from source, then re-applies once.
  TComTimeouts& operator=(const TComTimeouts& source);

  int32_t ReadInterval() const noexcept { return readInterval_; }
  int32_t ReadTotalMultiplier() const noexcept { return readTotalMultiplier_; }
  int32_t ReadTotalConstant() const noexcept { return readTotalConstant_; }
  int32_t WriteTotalMultiplier() const noexcept { return writeTotalMultiplier_; }
  int32_t WriteTotalConstant() const noexcept { return writeTotalConstant_; }
  void SetReadInterval(int32_t value) { Set(readInterval_, value); }
  void SetReadTotalMultiplier(int32_t value) { Set(readTotalMultiplier_, value); }
  void SetReadTotalConstant(int32_t value) { Set(readTotalConstant_, value); }
  void SetWriteTotalMultiplier(int32_t value) { Set(writeTotalMultiplier_, value); }
  void SetWriteTotalConstant(int32_t value) { Set(writeTotalConstant_, value); }
  // The record for the device; -1 becomes the all-ones value.
  COMMTIMEOUTS ToDevice() const noexcept;

 private:
  void Set(int32_t& field, int32_t value);
  void Changed();
  TCustomComPort* port_;
  int32_t readInterval_ = -1;
  int32_t readTotalMultiplier_ = 0;
  int32_t readTotalConstant_ = 0;
  int32_t writeTotalMultiplier_ = 100;
  int32_t writeTotalConstant_ = 1000;
};

class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort* port = nullptr) noexcept : port_(port) {}
  TComFlowControl(const TComFlowControl&) = delete;
  TComFlowControl& operator=(const TComFlowControl& source);

  bool OutCTSFlow() const noexcept { return outCTSFlow_; }
  bool OutDSRFlow() const noexcept { return outDSRFlow_; }
  TDTRFlowControl ControlDTR() const noexcept { return controlDTR_; }
  TRTSFlowControl ControlRTS() const noexcept { return controlRTS_; }
  bool XonXoffOut() const noexcept { return xonXoffOut_; }
  bool XonXoffIn() const noexcept { return xonXoffIn_; }
  bool DSRSensitivity() const noexcept { return dsrSensitivity_; }
  bool TxContinueOnXoff() const noexcept { return txContinueOnXoff_; }
  char XonChar() const noexcept { return xonChar_; }
  char XoffChar() const noexcept { return xoffChar_; }
  // The summary of the values above.
  TFlowControl FlowControl() const noexcept;

  void SetOutCTSFlow(bool value) { Set(outCTSFlow_, value); }
  void SetOutDSRFlow(bool value) { Set(outDSRFlow_, value); }
  // Refuses an ordinal outside the enumeration.
  void SetControlDTR(TDTRFlowControl value);
  void SetControlRTS(TRTSFlowControl value);
  void SetXonXoffOut(bool value) { Set(xonXoffOut_, value); }
  void SetXonXoffIn(bool value) { Set(xonXoffIn_, value); }
  void SetDSRSensitivity(bool value) { Set(dsrSensitivity_, value); }
  void SetTxContinueOnXoff(bool value) { Set(txContinueOnXoff_, value); }
  void SetXonChar(char value) { Set(xonChar_, value); }
  void SetXoffChar(char value) { Set(xoffChar_, value); }
  // Expands a summary into the fields; always re-applies.
  void SetFlowControl(TFlowControl value);

 private:
  template <typename T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  void Changed();
  TCustomComPort* port_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = 17;
  char xoffChar_ = 19;
};

class TComParity {
 public:
  explicit TComParity(TCustomComPort* port = nullptr) noexcept : port_(port) {}
  TComParity(const TComParity&) = delete;
  TComParity& operator=(const TComParity& source);

  TParityBits Bits() const noexcept { return bits_; }
  bool Check() const noexcept { return check_; }
  bool Replace() const noexcept { return replace_; }
  char ReplaceChar() const noexcept { return replaceChar_; }
  // Refuses an ordinal outside the enumeration.
  void SetBits(TParityBits value);
  void SetCheck(bool value) { Set(check_, value); }
  void SetReplace(bool value) { Set(replace_, value); }
  void SetReplaceChar(char value) { Set(replaceChar_, value); }

 private:
  template <typename T>
  void Set(T& field, T value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  void Changed();
  TCustomComPort* port_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = 0;
};

class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort* port = nullptr) noexcept : port_(port) {}
  TComBuffer(const TComBuffer&) = delete;
  TComBuffer& operator=(const TComBuffer& source);

  int32_t InputSize() const noexcept { return inputSize_; }
  int32_t OutputSize() const noexcept { return outputSize_; }
  // An odd positive size is stored one less.
  void SetInputSize(int32_t value) { Set(inputSize_, value); }
  void SetOutputSize(int32_t value) { Set(outputSize_, value); }

 private:
  void Set(int32_t& field, int32_t value);
  TCustomComPort* port_;
  int32_t inputSize_ = 1024;
  int32_t outputSize_ = 1024;
};

// Raises the library's error for an ordinal that its enumeration lacks.
[[noreturn]] void RaiseOutOfRange(const char* property, unsigned value);

}  // namespace ra03v
