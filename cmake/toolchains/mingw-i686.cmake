# 32-bit build: the one that ships. Its programs cannot run here.
set(RA03V_ARCH i686)
set(RA03V_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
