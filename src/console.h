#ifndef GUESS_CONSOLE_H_
#define GUESS_CONSOLE_H_

#include <cstddef>

#include "platform.h"
#include "streams.h"

// Standard output or standard error, buffered in the `size` bytes at `buffer`: they reach the
// system when the buffer fills or on flush.
class ConsoleOutput final : public Output {
 public:
  ConsoleOutput(Stream stream, char* buffer, std::size_t size);

 private:
  bool deliver(const char* data, std::size_t size) override;

  Stream stream_;
};

// Buffered standard input that flushes `pending` before each read from the system, so all
// output is visible whenever the game may wait, yet input already at hand costs no write.
// Once the system reports the end of input, it stays ended: a terminal that ends one line
// early with Ctrl-D, or a console with Ctrl-Z, is not read again. A failed read ends input
// too, and is reported on `errors`. It reads into the `size` bytes at `buffer`.
class ConsoleInput final : public Input {
 public:
  ConsoleInput(Output& pending, Output& errors, char* buffer, std::size_t size);

 private:
  bool refill() override;

  Output& pending_;
  Output& errors_;
  char* buffer_;
  std::size_t size_;
  bool ended_ = false;
};

#endif  // GUESS_CONSOLE_H_
