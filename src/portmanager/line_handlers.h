#pragma once
// Handlers that receive every complete line a port manager assembles.
#include <array>
#include <string>

namespace ra03v {

// Receives the owner it was registered with and the zero-terminated text:
// device tag, "|", the line with its terminator.
using LineProcedure = void (*)(void* owner, const char* text);

struct TProcItem {
  std::string terminator;
  void* owner = nullptr;
  LineProcedure procedure = nullptr;
};

inline constexpr int kMaxLineHandlers = 20;

struct TProcItems {
  std::array<TProcItem, kMaxLineHandlers> items;
  int count = 0;
};

}  // namespace ra03v
