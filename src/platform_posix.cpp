// POSIX: file descriptors 0 and 1, waited on with poll where another process left them
// non-blocking, and terminals, which a read of nothing does not always end.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>

#include "platform.h"

std::int64_t readClock() { return std::time(nullptr); }

void prepareStandardStreams() {
  // A reader that has gone away becomes a failed write, reported like any other.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}

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

EmptyRead afterEmptyRead() {
  termios modes{};
  if (tcgetattr(STDIN_FILENO, &modes) != 0) {
    // A terminal that has hung up answers with EIO, whether the read waited or not, and
    // whether the game was running or stopped when it hung up; a pipe or file is no terminal.
    return errno == EIO ? EmptyRead::HungUp : EmptyRead::EndOfInput;
  }
  if ((modes.c_lflag & ICANON) != 0 || modes.c_cc[VMIN] != 0) {
    return EmptyRead::EndOfInput;  // Ctrl-D
  }
  // Left non-canonical with MIN 0, as a crashed full-screen program may leave it, the terminal
  // returns from a read at once, keys or none: the game waits for keys, or for the hang-up.
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR ? EmptyRead::ReadAgain : EmptyRead::EndOfInput;
}
