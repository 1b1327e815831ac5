# The game for the web: guess.wasm, which any WASI runtime runs as a console program, made able
# to wait for the page's input, and the page that plays it, laid out in web/ of the build as it
# is served and released.
find_program(GUESS_WASM_OPT wasm-opt REQUIRED DOC "binaryen's wasm-opt")
# A newer CMake (3.31, say) knows WASI itself and reads its own platform file in place of
# cmake/Platform/WASI.cmake, which names programs without the .wasm ending.
set_target_properties(guess PROPERTIES SUFFIX .wasm)
# The page hands the game its input as the player types it, which the read of standard input
# must wait for without blocking the page: Asyncify lets fd_read unwind the game's stack and
# rewind it once a line has come. Every function is instrumented where it may reach fd_read
# (a partial list fails at run time).
add_custom_command(TARGET guess POST_BUILD
  COMMAND ${GUESS_WASM_OPT} $<TARGET_FILE:guess> --asyncify
    --pass-arg=asyncify-imports@wasi_snapshot_preview1.fd_read -Oz --strip-debug
    --strip-producers -o $<TARGET_FILE:guess>
  COMMENT "Letting guess.wasm wait for the page's input (Asyncify), and shrinking it"
  VERBATIM)

# The page's index.html as it is served: its style sheet and scripts, which stay plain files here,
# put inline, so that a first visit waits on no more than guess.wasm. The other files are served
# as they are.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(guess_web_sources index.html style.css load.js main.js wasi.js)
set(guess_web_files favicon.svg apple-touch-icon.png manifest.webmanifest)
set(guess_web_dir ${CMAKE_CURRENT_BINARY_DIR}/web)
list(TRANSFORM guess_web_sources PREPEND ${PROJECT_SOURCE_DIR}/web/ OUTPUT_VARIABLE sources)
add_custom_command(OUTPUT ${guess_web_dir}/index.html
  COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/cmake/web_page.py
    ${PROJECT_SOURCE_DIR}/web ${guess_web_dir}/index.html
  DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/web_page.py
  COMMENT "Writing the page with its styles and scripts inline"
  VERBATIM)
set(copied ${guess_web_dir}/index.html)
foreach(file IN LISTS guess_web_files)
  add_custom_command(OUTPUT ${guess_web_dir}/${file}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/web/${file} ${guess_web_dir}/${file}
    DEPENDS ${PROJECT_SOURCE_DIR}/web/${file}
    VERBATIM)
  list(APPEND copied ${guess_web_dir}/${file})
endforeach()
add_custom_command(OUTPUT ${guess_web_dir}/guess.wasm
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:guess> ${guess_web_dir}/guess.wasm
  DEPENDS guess
  VERBATIM)
list(APPEND copied ${guess_web_dir}/guess.wasm)
# The service worker keeps the page's files of this release, each by its SHA-256.
set(guess_kept_files index.html ${guess_web_files} guess.wasm)
add_custom_command(OUTPUT ${guess_web_dir}/sw.js
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/web/sw.js.in -DOUT=${guess_web_dir}/sw.js
    -DDIR=${guess_web_dir} "-DFILES=${guess_kept_files}" -DVERSION=${PROJECT_VERSION}
    -P ${PROJECT_SOURCE_DIR}/cmake/web_release.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/web/sw.js.in ${PROJECT_SOURCE_DIR}/cmake/web_release.cmake ${copied}
  COMMENT "Writing the service worker with the SHA-256 of each of the page's files"
  VERBATIM)
add_custom_target(guess_web ALL DEPENDS ${copied} ${guess_web_dir}/sw.js)

# The release's guess-VERSION-web.zip: the page as it is served, with the licence.
install(FILES ${copied} ${guess_web_dir}/sw.js LICENSE DESTINATION .
  COMPONENT web EXCLUDE_FROM_ALL)
