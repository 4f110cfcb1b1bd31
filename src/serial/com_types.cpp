#include "serial/com_types.h"

namespace ra03v {

DWORD EventsToMask(TComEvents events) {
  DWORD mask = 0;
  for (unsigned e = 0; e <= evRx80Full; ++e)
    if (events.Has(static_cast<TComEvent>(e))) mask |= kComEventMaskBits[e];
  return mask;
}

TComEvents MaskToEvents(DWORD mask) {
  TComEvents events;
  for (unsigned e = 0; e <= evRx80Full; ++e)
    if (mask & kComEventMaskBits[e]) events.Include(static_cast<TComEvent>(e));
  return events;
}

int32_t BaudRateValue(TBaudRate rate) {
  static constexpr int32_t kRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  return rate <= kLastBaudRate ? kRates[rate] : 0;
}

}  // namespace ra03v
