# 32-bit ARM Linux with hardware floating point, Debian's armhf (g++-arm-linux-gnueabihf).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(triplet arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
