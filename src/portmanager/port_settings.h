#pragma once
// The port settings record of a port manager: the device properties map to it,
// the settings dialog edits it, and it is applied to the port. Port, baud, data
// bits and stop bits are kept as positions in fixed tables.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ra03v {

inline constexpr std::array<int, 20> kPortNumbers = {1,  2,  3,  4,  5,  6,  7,   8,   9,   10,
                                                     11, 12, 13, 14, 15, 16, 101, 102, 103, 901};
inline constexpr std::array<int, 10> kBaudRates = {115200, 57600, 38400, 19200, 9600,
                                                   4800,   2400,  1200,  300,   28800};
inline constexpr std::array<int, 4> kDataBits = {8, 7, 6, 5};
inline constexpr std::array<int, 2> kStopBits = {2, 1};

// The table value at index, or nothing when the index is outside the table.
template <size_t N>
std::optional<int> TableValue(const std::array<int, N>& table, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= N) return std::nullopt;
  return table[static_cast<size_t>(index)];
}

// The index of value in table, or -1.
template <size_t N>
int32_t TableIndex(const std::array<int, N>& table, int value) {
  for (size_t i = 0; i < N; ++i)
    if (table[i] == value) return static_cast<int32_t>(i);
  return -1;
}

struct TComPortSennings {
  int32_t portIndex = 0;      // COM1
  int32_t baudIndex = 4;      // 9600
  int32_t dataBitsIndex = 0;  // 8
  int32_t stopBitsIndex = 1;  // 1
  int32_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t useEventWord = 1;
  uint8_t rs485Mode = 0;
  int32_t baseAddress = 0;
  int32_t inputBufferSize = 4096;
  int32_t outputBufferSize = 4096;
  int32_t bufferFull = 0;
  int32_t bufferResume = 0;
  uint8_t reserved1 = 0;
  uint8_t reserved2 = 0;
  int32_t softwareFlowMode = 0;  // 0..3: none, receive, transmit, both
  int32_t xonChar = 17;
  int32_t xoffChar = 19;
  std::string deviceIdentifier;
  uint8_t keepOpen = 0;  // not touched by Reset
  std::string networkPrinterName;
  int32_t flowControl = 2;  // 0 hardware, 1 software, 2 none, 3 custom
  int32_t dtrControl = 0;
  int32_t rtsControl = 0;
  int32_t writeTimeoutSeconds = 10;

  // Back to the reset values; KeepOpen keeps its value.
  void Reset();
};

}  // namespace ra03v
