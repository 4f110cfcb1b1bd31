#include "portmanager/port_settings.h"

namespace ra03v {

void TComPortSennings::Reset() {
  const uint8_t keep = keepOpen;
  *this = TComPortSennings();
  keepOpen = keep;
}

}  // namespace ra03v
