# Cross-builds a stand-alone Windows console program with Debian's MinGW-w64 for
# CMAKE_SYSTEM_PROCESSOR, which the including toolchain file sets.
set(CMAKE_SYSTEM_NAME Windows)
# The POSIX thread model gives the C++ library its std::mutex, which GoogleTest needs.
set(triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Links the C and C++ runtimes in, so that no MinGW DLL has to travel with the program, and
# leaves the link time out of the PE header, so that a build can be repeated byte for byte.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
