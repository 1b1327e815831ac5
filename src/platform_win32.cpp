// Windows: the C runtime's unbuffered streams, in text mode, and its 64-bit clock.
#include <fcntl.h>
#include <io.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform.h"

std::int64_t readClock() {
  // The plain `time` of 32-bit msvcrt stops at 2038; its 64-bit twin does not.
  return _time64(nullptr);
}

void prepareStandardStreams() {
  // Text mode turns every "\n" written into CR LF and every CR LF read into "\n".
  _setmode(0, _O_TEXT);
  _setmode(1, _O_TEXT);
  _setmode(2, _O_TEXT);
}

std::ptrdiff_t rawRead(char* data, std::size_t size) {
  return _read(0, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

std::ptrdiff_t rawWrite(Stream stream, const char* data, std::size_t size) {
  return _write(stream == Stream::Error ? 2 : 1, data,
                static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}

bool waitToRetry(Stream /*stream*/) { return errno == EINTR; }

// A console or pipe that returns nothing has ended: Ctrl-Z, or the end of a file.
EmptyRead afterEmptyRead() { return EmptyRead::EndOfInput; }
