# Packages for `cpack`: a Debian package of a Linux build, a zip of a Windows build or of the web
# page.
set(CPACK_PACKAGE_CONTACT "The guess maintainers <maintainers@users.noreply.c-seed-21661834.example>")
# Debian's control file takes the lines as they are: each must fit in 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "The computer picks a secret whole number from 1 to 100 and the
player guesses it in the console; each guess is answered with too low, too high
or correct. After a correct guess the game asks whether to play again.")
if(WIN32)
  set(CPACK_GENERATOR ZIP)  # of guess.exe as linked, already stripped
elseif(CMAKE_SYSTEM_NAME STREQUAL "WASI")
  # The page in one folder, to unpack and serve from any static file server.
  set(CPACK_PACKAGE_FILE_NAME guess-${PROJECT_VERSION}-web)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL web)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
elseif(GUESS_PORTABLE)
  # A tarball for any Linux: the static program, its manual page, the README and the licence.
  if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)  # a cross build's presets name it
    execute_process(COMMAND dpkg --print-architecture
      OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(CPACK_PACKAGE_FILE_NAME
    guess-${PROJECT_VERSION}-linux-${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  install(TARGETS guess RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
  install(FILES doc/guess.6 README.md LICENSE DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL portable)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # The package lays the game out the way Debian's policy asks of games: the program in
  # /usr/games, the manual page and changelog compressed, and the copyright beside them.
  # It is made from an install component of its own, which a plain `cmake --install` leaves
  # out, so that keeps installing bin/guess and the uncompressed manual page.
  file(STRINGS cmake/debian/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^guess \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog has no entry for ${PROJECT_VERSION} on top")
  endif()
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/debian/guess.6.gz
    ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory debian
    COMMAND ${GZIP_PROGRAM} -9n < ${PROJECT_SOURCE_DIR}/doc/guess.6 > debian/guess.6.gz
    COMMAND ${GZIP_PROGRAM} -9n < ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
      > debian/changelog.gz
    DEPENDS doc/guess.6 cmake/debian/changelog
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Compressing the manual page and changelog for the Debian package"
    VERBATIM)
  add_custom_target(guess_debian_files ALL DEPENDS ${compressed})
  install(TARGETS guess RUNTIME DESTINATION games COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/guess.6.gz DESTINATION share/man/man6
    COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES cmake/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    DESTINATION share/doc/guess COMPONENT debian EXCLUDE_FROM_ALL)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL debian)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION games)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
if(NOT WIN32 AND NOT CMAKE_SYSTEM_NAME STREQUAL "WASI")
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
