// POSIX: a reader that went away, and terminals, which a read of nothing does not always end.
// The file descriptors and the clock are in platform_fd.cpp.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform.h"

void prepareStandardStreams() {
  // A reader that has gone away becomes a failed write, reported like any other.
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
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
