#ifndef GUESS_GUESS_JUDGEMENT_H_
#define GUESS_GUESS_JUDGEMENT_H_

#include <cstdint>

// How a guess stands against the secret number; the values are fixed.
enum GuessVerdict : std::int32_t { Correct = 0, TooLow = 1, TooHigh = 2 };

// Judges `guess` against `secretNum` by plain signed ordering; no range is assumed.
GuessVerdict compareGuess(std::int32_t secretNum, std::int32_t guess);

#endif  // GUESS_GUESS_JUDGEMENT_H_
