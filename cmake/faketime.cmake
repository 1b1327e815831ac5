# Finds GUESS_FAKETIME, libfaketime's library, which the end-to-end tests and the benchmark
# preload to freeze the game's clock: into the game itself, or into the emulator that runs a
# cross build. Either way it is the library of the machine that runs them, not of the target.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# That machine's multiarch folder (x86_64-linux-gnu on Debian amd64, say): a cross build's
# CMAKE_LIBRARY_ARCHITECTURE names the target's. Systems without multiarch have none.
execute_process(COMMAND ${Python3_EXECUTABLE} -c
  "import sysconfig; print(sysconfig.get_config_var('MULTIARCH') or '')"
  OUTPUT_VARIABLE multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
string(JOIN / faketimeFolder ${multiarch} faketime)
# Its folders are named too, for builds whose platform names no folders of this machine (WASI).
find_library(GUESS_FAKETIME NAMES libfaketime.so.1 PATHS /usr/lib /usr/local/lib
  PATH_SUFFIXES ${faketimeFolder}
  NO_CMAKE_FIND_ROOT_PATH REQUIRED DOC "libfaketime, preloaded to freeze the game's clock")
