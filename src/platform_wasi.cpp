// WASI, for WebAssembly: the runtime's standard streams and clock (Node.js's node:wasi, or the
// web page's own functions). WASI has no terminal modes and no signals.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include "platform.h"

std::int64_t readClock() { return std::time(nullptr); }

void prepareStandardStreams() {}

std::ptrdiff_t rawRead(char* data, std::size_t size) { return read(STDIN_FILENO, data, size); }

std::ptrdiff_t rawWrite(const char* data, std::size_t size) {
  return write(STDOUT_FILENO, data, std::min<std::size_t>(size, SSIZE_MAX));
}

bool waitToRetry(Stream stream) {
  if (errno != EAGAIN) {
    return errno == EINTR;
  }
  // A runtime may hand on streams that are non-blocking (Node.js does with pipes).
  pollfd ready =
      stream == Stream::Input ? pollfd{STDIN_FILENO, POLLIN, 0} : pollfd{STDOUT_FILENO, POLLOUT, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}

EmptyRead afterEmptyRead() { return EmptyRead::EndOfInput; }
