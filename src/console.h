#ifndef GUESS_CONSOLE_H_
#define GUESS_CONSOLE_H_

#include <array>
#include <ostream>
#include <streambuf>

// Buffered standard output; bytes reach the system when the buffer fills or on flush.
class ConsoleOutputBuffer : public std::streambuf {
 public:
  ConsoleOutputBuffer();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  std::array<char, 1 << 16> buffer_;  // not zeroed, so that only the pages in use are touched
};

// Buffered standard input that flushes `pending` before each read from the system, so all
// output is visible whenever the game may wait, yet input already at hand costs no write.
// Once the system reports the end of input, it stays ended: a terminal that ends one line
// early with Ctrl-D, or a console with Ctrl-Z, is not read again. A failed read ends input
// too, and is reported on `errors`.
class ConsoleInputBuffer : public std::streambuf {
 public:
  ConsoleInputBuffer(std::ostream& pending, std::ostream& errors);

 protected:
  int_type underflow() override;

 private:
  std::ostream& pending_;
  std::ostream& errors_;
  bool ended_ = false;
  std::array<char, 1 << 16> buffer_;  // not zeroed, so that only the pages in use are touched
};

#endif  // GUESS_CONSOLE_H_
