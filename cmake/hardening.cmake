# Hardening for the game's own code. On Linux these are the flags that Debian's packages get
# from `dpkg-buildflags` with DEB_BUILD_MAINT_OPTIONS=hardening=+all, which differ between
# architectures: control-flow protection exists on x86 only, branch protection on 64-bit ARM
# only. Each flag is kept only where the compiler or linker accepts it for the target it builds
# for, so the choice follows the target, not the machine that builds. On Windows, the PE
# equivalents that MinGW's linker offers.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)
check_pie_supported()

# Sets `out` to those of the flags after `kind` that the compiler (`kind` COMPILE) or the linker
# (LINK) accepts. Each finding is cached under the flag's spelling made a name:
# GUESS_ACCEPTS__static_pie for -static-pie, which scripts/check-release reads.
function(guess_supported_flags out kind)
  # clang only warns of a flag that is not for its target.
  set(CMAKE_REQUIRED_FLAGS -Werror)
  set(supported)
  foreach(flag IN LISTS ARGN)
    string(MAKE_C_IDENTIFIER "GUESS_ACCEPTS ${flag}" accepted)
    if(kind STREQUAL "COMPILE")
      check_cxx_compiler_flag(${flag} ${accepted})
    else()
      check_linker_flag(CXX ${flag} ${accepted})
    endif()
    if(${accepted})
      list(APPEND supported ${flag})
    endif()
  endforeach()
  set(${out} ${supported} PARENT_SCOPE)
endfunction()

# WebAssembly keeps its code and its call stack outside the memory that a program can address, so
# there is nothing to randomise or relocate read-only, and wasi-libc has no stack protector.
set(guess_hardening_applies TRUE)
if(CMAKE_SYSTEM_NAME STREQUAL "WASI")
  set(guess_hardening_applies FALSE)
endif()

if(guess_hardening_applies AND NOT WIN32 AND NOT MSVC)
  guess_supported_flags(guess_hardening_compile_flags COMPILE -fstack-protector-strong
    -fstack-clash-protection -fcf-protection -mbranch-protection=standard)
  guess_supported_flags(guess_hardening_link_flags LINK LINKER:-z,relro LINKER:-z,now)
endif()

# Hardens `target`, an executable or a static library linked into one: position-independent
# code always, the flags too unless GUESS_HARDENING is off, where the builder's flags (a
# distribution's, say) choose them.
function(guess_hardening target)
  if(NOT guess_hardening_applies)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  else()
    # Code for a position-independent executable, not the slower code for a shared library.
    target_compile_options(${target} PRIVATE ${CMAKE_CXX_COMPILE_OPTIONS_PIE})
  endif()
  if(MSVC OR NOT GUESS_HARDENING)
    return()
  endif()
  if(WIN32)
    # Address space layout randomisation, also above 4 GiB on 64-bit, and no execution of data.
    target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--nxcompat
      $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>)
    return()
  endif()
  target_compile_options(${target} PRIVATE ${guess_hardening_compile_flags} -Wformat
    -Werror=format-security)
  # _FORTIFY_SOURCE checks only optimised code, and would take reports away from the sanitizers.
  # A level that the builder's flags set already stays theirs.
  if(NOT GUESS_SANITIZE AND NOT GUESS_FUZZ AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    target_compile_definitions(${target} PRIVATE
      $<$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>:_FORTIFY_SOURCE=2>)
  endif()
  target_link_options(${target} PRIVATE ${guess_hardening_link_flags})
endfunction()
