#include "console.h"

#include <cerrno>
#include <cstring>

#include "platform.h"

ConsoleOutputBuffer::ConsoleOutputBuffer() {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

ConsoleOutputBuffer::int_type ConsoleOutputBuffer::overflow(int_type c) {
  if (sync() != 0) {
    return traits_type::eof();
  }
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int ConsoleOutputBuffer::sync() {
  const bool written = writeStandardOutput(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return written ? 0 : -1;
}

ConsoleInputBuffer::ConsoleInputBuffer(std::ostream& pending, std::ostream& errors)
    : pending_(pending), errors_(errors) {}

ConsoleInputBuffer::int_type ConsoleInputBuffer::underflow() {
  // Output that cannot be written ends the game here rather than after a wait for the player.
  if (ended_ || !pending_.flush()) {
    return traits_type::eof();
  }
  const std::ptrdiff_t count = readStandardInput(buffer_.data(), buffer_.size());
  if (count <= 0) {
    ended_ = true;
    if (count < 0) {
      errors_ << "guess: could not read standard input: " << std::strerror(errno) << '\n'
              << std::flush;
    }
    return traits_type::eof();
  }
  setg(buffer_.data(), buffer_.data(), buffer_.data() + count);
  return traits_type::to_int_type(buffer_[0]);
}
