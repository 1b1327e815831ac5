#include "console.h"

#include <cerrno>
#include <cstring>

ConsoleOutput::ConsoleOutput(Stream stream, char* buffer, std::size_t size) : stream_(stream) {
  setBuffer(buffer, size);
}

bool ConsoleOutput::deliver(const char* data, std::size_t size) {
  return writeStandardStream(stream_, data, size);
}

ConsoleInput::ConsoleInput(Output& pending, Output& errors, char* buffer, std::size_t size)
    : pending_(pending), errors_(errors), buffer_(buffer), size_(size) {}

bool ConsoleInput::refill() {
  // Output that cannot be written ends the game here rather than after a wait for the player.
  if (ended_ || !pending_.flush()) {
    return false;
  }
  const std::ptrdiff_t count = readStandardInput(buffer_, size_);
  if (count <= 0) {
    ended_ = true;
    if (count < 0) {
      const int error = errno;
      errors_.write("guess: could not read standard input: ");
      errors_.write(std::strerror(error));
      errors_.write("\n");
      errors_.flush();
    }
    return false;
  }
  setBuffer(buffer_, static_cast<std::size_t>(count));
  return true;
}
