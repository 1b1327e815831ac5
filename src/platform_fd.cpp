// File descriptors 0, 1 and 2 and the clock, as POSIX systems and wasi-libc offer them alike;
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

namespace {

int descriptor(Stream stream) {
  if (stream == Stream::Input) {
    return STDIN_FILENO;
  }
  return stream == Stream::Output ? STDOUT_FILENO : STDERR_FILENO;
}

}  // namespace

std::ptrdiff_t rawWrite(Stream stream, const char* data, std::size_t size) {
  return write(descriptor(stream), data, std::min<std::size_t>(size, SSIZE_MAX));
}

bool waitToRetry(Stream stream) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    return errno == EINTR;
  }
  const short events = stream == Stream::Input ? POLLIN : POLLOUT;
  pollfd ready{descriptor(stream), events, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}
