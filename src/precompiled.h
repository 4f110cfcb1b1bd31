// The system and standard headers most of the library's sources include,
// parsed once per build instead of once per source (they were most of each
// source's compile time). Sources still include what they use.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
