# 64-bit ARM Linux, Debian's arm64 (g++-aarch64-linux-gnu).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triplet aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-common.cmake)
