// The only place where POSIX and Windows differ: how the raw standard streams and the clock
// are reached.
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {
enum class Stream { Input, Output };
}  // namespace

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
bool worthRetrying(Stream /*stream*/) { return errno == EINTR; }
bool worthReadingAgain(bool& /*hungUp*/) { return false; }
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
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace {
ssize_t rawRead(char* data, std::size_t size) { return read(STDIN_FILENO, data, size); }
ssize_t rawWrite(const char* data, std::size_t size) {
  return write(STDOUT_FILENO, data, std::min<std::size_t>(size, SSIZE_MAX));
}
// True where the call that just failed on `stream` should be made again: it was interrupted,
// or the stream was left non-blocking by another process and is now ready.
bool worthRetrying(Stream stream) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    return errno == EINTR;
  }
  pollfd ready =
      stream == Stream::Input ? pollfd{STDIN_FILENO, POLLIN, 0} : pollfd{STDOUT_FILENO, POLLOUT, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}
// True where a read of standard input that returned nothing was no end of input: a terminal
// left non-canonical with MIN 0 returns from a read at once, keys or none. It is read again once
// keys have come, or once it has hung up, which sets `hungUp`.
bool worthReadingAgain(bool& hungUp) {
  termios modes{};
  if (tcgetattr(STDIN_FILENO, &modes) != 0 || (modes.c_lflag & ICANON) != 0 ||
      modes.c_cc[VMIN] != 0) {
    return false;
  }
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  if (poll(&ready, 1, -1) < 0) {
    return errno == EINTR;
  }
  hungUp = (ready.revents & ~POLLIN) != 0;  // POLLHUP, POLLERR
  return true;
}
}  // namespace

std::int64_t readClock() { return std::time(nullptr); }

void prepareStandardStreams() {
  // A reader that has gone away becomes a failed write, reported like any other.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}
#endif

std::ptrdiff_t readStandardInput(char* data, std::size_t size) {
  bool hungUp = false;  // a terminal that hung up is read once more, for what it still holds
  auto count = rawRead(data, size);
  while ((count < 0 && worthRetrying(Stream::Input)) ||
         (count == 0 && !hungUp && worthReadingAgain(hungUp))) {
    count = rawRead(data, size);
  }
  if (count == 0 && hungUp) {
    // At MIN 0 the read says nothing of the hang-up; with line editing it fails with EIO.
    errno = EIO;
    return -1;
  }
  return count;
}

bool writeStandardOutput(const char* data, std::size_t size) {
  while (size > 0) {
    const auto count = rawWrite(data, size);
    if (count < 0 && worthRetrying(Stream::Output)) {
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
