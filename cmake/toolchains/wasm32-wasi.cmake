# WebAssembly for WASI, built by Debian's clang with wasi-libc, libc++ and lld (packages clang,
# lld, wasi-libc, libc++-dev-wasm32, libclang-rt-dev-wasm32).
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/..)  # Platform/WASI.cmake
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# Debian's clang 14 catches no WebAssembly exceptions; the game throws none. Nor does it ask a
# type its name or cast down to it: without type information, its classes' virtual tables keep
# the runtime's dynamic_cast out of guess.wasm.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions -fno-rtti")
# clang runs binaryen's wasm-opt, where it is installed, after every optimised link. The build
# runs it once itself, with its own passes, on guess.wasm: -O0 when linking keeps clang from it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -O0)
# Libraries and packages for WebAssembly only: never the machine's own GoogleTest, say.
set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
