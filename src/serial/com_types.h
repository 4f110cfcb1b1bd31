#pragma once
// The serial port's enumerations (their order is the stored ordinal) and the
// event and error sets.
#include <windows.h>

#include <cstdint>
#include <initializer_list>

namespace ra03v {

enum TBaudRate : uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TComEvent : uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
enum TComError : uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull
};

// Highest ordinal of each enumeration: values above it never reach the device.
inline constexpr unsigned kLastBaudRate = br256000;
inline constexpr unsigned kLastStopBits = sbTwoStopBits;
inline constexpr unsigned kLastDataBits = dbEight;
inline constexpr unsigned kLastParityBits = prSpace;
inline constexpr unsigned kLastDTRFlowControl = dtrHandshake;
inline constexpr unsigned kLastRTSFlowControl = rtsToggle;
inline constexpr unsigned kLastFlowControl = fcCustom;
inline constexpr unsigned kLastSyncMethod = smNone;

// A set of enumeration values, one bit per ordinal (bit 0 first).
template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr EnumSet FromBits(uint32_t bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Has(E v) const { return (bits_ >> static_cast<unsigned>(v)) & 1u; }
  constexpr void Include(E v) { bits_ |= 1u << static_cast<unsigned>(v); }
  constexpr void Exclude(E v) { bits_ &= ~(1u << static_cast<unsigned>(v)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Bits() const { return bits_; }
  friend constexpr bool operator==(EnumSet, EnumSet) = default;

 private:
  uint32_t bits_ = 0;
};

using TComEvents = EnumSet<TComEvent>;
using TComErrors = EnumSet<TComError>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x3FF);

// The driver's event mask bit of each event, in TComEvent order.
inline constexpr DWORD kComEventMaskBits[] = {EV_RXCHAR, EV_TXEMPTY, EV_RXFLAG, EV_RING,
                                              EV_BREAK,  EV_CTS,     EV_DSR,    EV_ERR,
                                              EV_RLSD,   EV_RX80FULL};

// The driver's event mask for a set of events.
DWORD EventsToMask(TComEvents events);
// The events named by a mask; bits outside the ten known ones are ignored.
TComEvents MaskToEvents(DWORD mask);

// Bits per second of a rate ordinal (0 for brCustom).
int32_t BaudRateValue(TBaudRate rate);

// The lines among CTS, DSR, RING and RLSD that are raised.
struct TModemSignals {
  bool CTS = false;
  bool DSR = false;
  bool Ring = false;
  bool RLSD = false;
};

}  // namespace ra03v
