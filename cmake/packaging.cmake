# Packages for `cpack`: a Debian package of a Linux build, a zip of a Windows build.
set(CPACK_PACKAGE_CONTACT "The guess maintainers <maintainers@users.noreply.c-seed-21661834.example>")
set(CPACK_PACKAGE_DESCRIPTION
  "The computer picks a secret whole number from 1 to 100 and the player guesses it in the \
console; each guess is answered with too low, too high or correct.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
