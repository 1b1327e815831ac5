#include <cstdint>
#include <iostream>
#include <memory>

#include "console.h"
#include "game.h"
#include "platform.h"

int main() {
  // Only the low 32 bits of the seconds count seed the game.
  const auto seed = static_cast<std::uint32_t>(readClock());
  prepareStandardStreams();
  // On the heap rather than in main's frame, whose pages stack-clash probes would all touch.
  const auto outBuffer = std::make_unique<ConsoleOutputBuffer>();
  std::ostream out(outBuffer.get());
  const auto inBuffer = std::make_unique<ConsoleInputBuffer>(out, std::cerr);
  std::istream in(inBuffer.get());
  return playGame(in, out, std::cerr, seed);
}
