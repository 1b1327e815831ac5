#include "platform.h"

#include <algorithm>
#include <cerrno>

std::ptrdiff_t readStandardInput(char* data, std::size_t size) {
  for (;;) {
    const auto count = rawRead(data, size);
    if (count > 0 || (count < 0 && !waitToRetry(Stream::Input))) {
      return count;
    }
    if (count == 0) {
      switch (afterEmptyRead()) {
        case EmptyRead::EndOfInput:
          return 0;
        case EmptyRead::ReadAgain:
          break;
        case EmptyRead::HungUp:
          // A read of a terminal that has hung up returns nothing; with line editing, the read
          // under way when it hung up failed with EIO.
          errno = EIO;
          return -1;
      }
    }
  }
}

bool writeStandardStream(Stream stream, const char* data, std::size_t size) {
  while (size > 0) {
    const auto count = rawWrite(stream, data, size);
    if (count < 0 && waitToRetry(stream)) {
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
