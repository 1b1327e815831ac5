// The only place where POSIX and Windows differ: how the raw standard streams are reached.
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <time.h>

namespace {
int rawRead(char* data, std::size_t size) {
  return _read(0, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}
int rawWrite(const char* data, std::size_t size) {
  return _write(1, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
}
}  // namespace

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
#else
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace {
ssize_t rawRead(char* data, std::size_t size) { return read(STDIN_FILENO, data, size); }
ssize_t rawWrite(const char* data, std::size_t size) {
  return write(STDOUT_FILENO, data, std::min<std::size_t>(size, SSIZE_MAX));
}
}  // namespace

std::int64_t readClock() { return std::time(nullptr); }

void prepareStandardStreams() {
  // A reader that has gone away becomes a failed write, reported like any other.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}
#endif

std::size_t readStandardInput(char* data, std::size_t size) {
  auto count = rawRead(data, size);
  while (count < 0 && errno == EINTR) {
    count = rawRead(data, size);
  }
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

bool writeStandardOutput(const char* data, std::size_t size) {
  while (size > 0) {
    const auto count = rawWrite(data, size);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    // Text mode may count the carriage returns it adds; never step past the data.
    const auto done = std::min(static_cast<std::size_t>(count), size);
    data += done;
    size -= done;
  }
  return true;
}
