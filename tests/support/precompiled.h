// The headers nearly every test source includes, parsed once for all test
// programs. Winsock 2 comes before <windows.h>, which would otherwise pull in
// the older Winsock header that conflicts with it.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>
