#include <array>
#include <cstdint>

#include "console.h"
#include "game.h"
#include "platform.h"

int main() {
  // Only the low 32 bits of the seconds count seed the game.
  const auto seed = static_cast<std::uint32_t>(readClock());
  prepareStandardStreams();
  // Static rather than in main's frame, whose pages stack-clash probes would all touch, and
  // rather than on the heap, which would bring an allocator: only the pages in use are touched.
  static std::array<char, 1 << 16> inBuffer;
  static std::array<char, 1 << 16> outBuffer;
  static std::array<char, 256> errBuffer;  // each message is flushed whole as it ends
  ConsoleOutput err(Stream::Error, errBuffer.data(), errBuffer.size());
  ConsoleOutput out(Stream::Output, outBuffer.data(), outBuffer.size());
  ConsoleInput in(out, err, inBuffer.data(), inBuffer.size());
  return playGame(in, out, err, seed);
}
