# Writes the page's service worker, OUT, from the template IN, with the release it keeps: the
# version, VERSION, and the SHA-256 of each of FILES (a list) as they stand in DIR, so that the
# worker keeps only those bytes, and a browser sees a new worker wherever one file has changed.
# Run as cmake -DIN=… -DOUT=… -DDIR=… -DFILES=… -DVERSION=… -P web_release.cmake.
set(files "")
foreach(file IN LISTS FILES)
  file(SHA256 ${DIR}/${file} sha256)
  string(APPEND files "\n    \"${file}\": \"${sha256}\",")
endforeach()
string(REGEX REPLACE ",$" "\n  " files "${files}")
set(guess_release "{\n  \"version\": \"${VERSION}\",\n  \"files\": {${files}}\n}")
configure_file(${IN} ${OUT} @ONLY)
