# Hardening for the game's own code. On Linux these are the flags that Debian's packages get
# from `dpkg-buildflags` with DEB_BUILD_MAINT_OPTIONS=hardening=+all; on Windows, the PE
# equivalents that MinGW's linker offers.
include(CheckPIESupported)
check_pie_supported()

# Hardens `target`, an executable or a static library linked into one.
function(guess_hardening target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  else()
    # Code for a position-independent executable, not the slower code for a shared library.
    target_compile_options(${target} PRIVATE ${CMAKE_CXX_COMPILE_OPTIONS_PIE})
  endif()
  if(MSVC)
    return()
  endif()
  if(WIN32)
    # Address space layout randomisation, also above 4 GiB on 64-bit, and no execution of data.
    target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--nxcompat
      $<$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>:-Wl,--high-entropy-va>)
    return()
  endif()
  target_compile_options(${target} PRIVATE -fstack-protector-strong -fstack-clash-protection
    -fcf-protection -Wformat -Werror=format-security)
  # _FORTIFY_SOURCE checks only optimised code, and would take reports away from the sanitizers.
  if(NOT GUESS_SANITIZE AND NOT GUESS_FUZZ)
    target_compile_definitions(${target} PRIVATE
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()
  target_link_options(${target} PRIVATE LINKER:-z,relro LINKER:-z,now)
endfunction()
