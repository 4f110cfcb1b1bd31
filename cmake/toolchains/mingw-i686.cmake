# 32-bit build: the one that ships. Its programs run under Wine's WoW64 where
# the machine can execute 32-bit programs (scripts/test.sh checks).
set(RA03V_ARCH i686)
set(RA03V_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh)
