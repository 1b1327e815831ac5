#include "guess_judgement.h"

GuessVerdict compareGuess(std::int32_t secretNum, std::int32_t guess) {
  GuessVerdict verdict = Correct;
  if (guess < secretNum) {
    verdict = TooLow;
  } else if (guess > secretNum) {
    verdict = TooHigh;
  }
  return verdict;
}
