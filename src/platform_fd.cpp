// File descriptors 0 and 1 and the clock, as POSIX systems and wasi-libc offer them alike;
// waited on with poll where the stream was left non-blocking (Node.js hands a WASI program its
// pipes so).
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include "platform.h"

std::int64_t readClock() { return std::time(nullptr); }

std::ptrdiff_t rawRead(char* data, std::size_t size) { return read(STDIN_FILENO, data, size); }

std::ptrdiff_t rawWrite(const char* data, std::size_t size) {
  return write(STDOUT_FILENO, data, std::min<std::size_t>(size, SSIZE_MAX));
}

bool waitToRetry(Stream stream) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    return errno == EINTR;
  }
  pollfd ready =
      stream == Stream::Input ? pollfd{STDIN_FILENO, POLLIN, 0} : pollfd{STDOUT_FILENO, POLLOUT, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}
