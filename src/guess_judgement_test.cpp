#include "guess_judgement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(CompareGuessTest, JudgesByPlainSignedOrder) {
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    std::int32_t secretNum, guess;
    GuessVerdict verdict;
  } cases[] = {
      {50, 50, Correct},   {50, 49, TooLow},    {50, 51, TooHigh},     {1, 0, TooLow},
      {100, 101, TooHigh}, {100, -5, TooLow},   {1, kMax, TooHigh},    {100, kMin, TooLow},
      {1, 1, Correct},     {100, 100, Correct}, {kMin, kMin, Correct}, {kMax, kMin, TooLow},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareGuess(c.secretNum, c.guess), c.verdict)
        << "secret " << c.secretNum << ", guess " << c.guess;
  }
}
