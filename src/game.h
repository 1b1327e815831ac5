#ifndef GUESS_GAME_H_
#define GUESS_GAME_H_

#include <cstdint>

#include "streams.h"

// Plays rounds on `in` and `out` with secrets drawn from `seed` until the player answers N or n;
// returns the exit status, reporting on `err` when `out` could not be written.
int playGame(Input& in, Output& out, Output& err, std::uint32_t seed);

#endif  // GUESS_GAME_H_
