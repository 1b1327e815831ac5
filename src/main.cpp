#include <cstdint>
#include <iostream>

#include "console.h"
#include "game.h"
#include "platform.h"

int main() {
  // Only the low 32 bits of the seconds count seed the game.
  const auto seed = static_cast<std::uint32_t>(readClock());
  prepareStandardStreams();
  ConsoleOutputBuffer outBuffer;
  std::ostream out(&outBuffer);
  ConsoleInputBuffer inBuffer(out, std::cerr);
  std::istream in(&inBuffer);
  return playGame(in, out, std::cerr, seed);
}
