// Plays the built game as a separate program through pipes, the way a person or a bot does.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

// How the game is started, and whether it is a Windows build run under Wine.
std::vector<std::string> gameCommand;
bool windows = false;

const std::string P = "Please enter a guess between 1 and 100: ";
std::string NL, LOW, HIGH, HIT, AGAIN;

void useLineEnd(const std::string& nl) {
  NL = nl;
  LOW = "Your guess was too low." + NL + NL;
  HIGH = "Your guess was too high." + NL + NL;
  HIT = "Your guess was correct!" + NL + NL;
  AGAIN = "Play again? (Y/N)" + NL;
}

// Finds the round's secret by halving the range, checking every reply byte for byte.
int findSecret(ChildProcess& game) {
  int low = 1, high = 100;
  while (low <= high) {
    const int guess = low + (high - low) / 2;
    EXPECT_TRUE(sendInput(game, std::to_string(guess) + NL));
    const std::string reply = readOutput(game, {P, AGAIN});
    if (reply == LOW + P) {
      low = guess + 1;
    } else if (reply == HIGH + P) {
      high = guess - 1;
    } else {
      EXPECT_EQ(reply, HIT + AGAIN);
      return guess;
    }
  }
  ADD_FAILURE() << "the replies point to no secret";
  return 0;
}

// Plays `rounds` rounds, writing each guess only after the whole reply, then answers n;
// returns the secrets found.
std::vector<int> playRounds(const std::vector<std::string>& command, int rounds) {
  ChildProcess game = startChild(command);
  EXPECT_EQ(readOutput(game, {P}), P);
  std::vector<int> secrets;
  for (int round = 1; round < rounds; ++round) {
    secrets.push_back(findSecret(game));
    EXPECT_TRUE(sendInput(game, "y" + NL));
    EXPECT_EQ(readOutput(game, {P}), NL + P);
  }
  secrets.push_back(findSecret(game));
  EXPECT_TRUE(sendInput(game, "n" + NL));
  EXPECT_EQ(readOutput(game), NL);
  const ChildExit exit = waitChild(game);
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.errors, "");
  return secrets;
}

std::vector<std::string> withClockAt(const char* time) {
  std::vector<std::string> command = {"env", "TZ=UTC", "faketime", "-f", time};
  command.insert(command.end(), gameCommand.begin(), gameCommand.end());
  return command;
}

TEST(GameProcessTest, PlaysRoundsThroughPipesWithoutStalling) {
  EXPECT_EQ(playRounds(gameCommand, 3).size(), 3U);
}

TEST(GameProcessTest, SecretsFollowTheLow32BitsOfTheClock) {
  if (windows) GTEST_SKIP() << "libfaketime freezes the clock of Linux programs only";
  const std::vector<int> secrets = playRounds(withClockAt("2026-01-01 00:00:00"), 4);
  std::mt19937 generator(1767225600U);  // 2026-01-01 00:00:00 UTC in seconds
  for (const int secret : secrets) {
    EXPECT_EQ(static_cast<unsigned>(secret), generator() % 100 + 1);
  }
  EXPECT_EQ(playRounds(withClockAt("2026-01-01 00:00:00"), 4), secrets);
  EXPECT_EQ(playRounds(withClockAt("2162-02-07 06:28:16"), 4), secrets);  // 2^32 s later
  EXPECT_NE(playRounds(withClockAt("2026-01-01 00:00:01"), 4), secrets);
}

TEST(GameProcessTest, SkipsBadLinesJudgesHugeNumbersAndFailsAtTheEnd) {
  ChildProcess game = startChild(gameCommand);
  EXPECT_EQ(readOutput(game, {P}), P);
  const struct {
    std::string input, reply;
  } steps[] = {
      {"abc" + NL, P},
      {"99999999999" + NL, HIGH + P},
      {std::string("\0\xff", 2) + NL + "-99999999999" + NL, P + LOW + P},
  };
  for (const auto& step : steps) {
    EXPECT_TRUE(sendInput(game, step.input));
    EXPECT_EQ(readOutput(game, {step.reply}), step.reply);
  }
  closeInput(game);
  EXPECT_EQ(readOutput(game), NL);
  EXPECT_EQ(waitChild(game).status, 1);
}

TEST(GameProcessTest, UnwritableOutputFailsWithAMessage) {
  for (const bool full : {true, false}) {
    ChildProcess game = startChild(gameCommand, full ? "/dev/full" : nullptr);
    if (!full) {
      close(game.output);  // the reader goes away
      game.output = -1;
    }
    sendInput(game, "50" + NL + "n" + NL);
    closeInput(game);
    const ChildExit exit = waitChild(game);
    EXPECT_EQ(exit.status, 1) << (full ? "/dev/full" : "closed pipe");
    EXPECT_EQ(exit.errors, "guess: could not write to standard output" + NL);
  }
}

TEST(GameProcessTest, EndlessInputKeepsMemorySmall) {
  if (windows) GTEST_SKIP() << "Wine's own memory would be measured";
  const std::string junk(64 << 20, 'x'), digits(64 << 20, '9');
  const struct {
    const std::string& input;
    std::string output;
  } cases[] = {{junk, P + NL}, {digits, P + HIGH + P + NL}};
  for (const auto& c : cases) {
    ChildProcess game = startChild(gameCommand);
    EXPECT_TRUE(sendInput(game, c.input));
    const long peakKiB = peakMemoryKiB(game);
    EXPECT_GT(peakKiB, 0);
    EXPECT_LT(peakKiB, 6 * 1024);
    closeInput(game);
    EXPECT_EQ(readOutput(game), c.output);
    EXPECT_EQ(waitChild(game).status, 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  windows = argc > 1 && std::string(argv[1]) == "--windows";
  useLineEnd(windows ? "\r\n" : "\n");
  gameCommand.assign(argv + (windows ? 2 : 1), argv + argc);
  return RUN_ALL_TESTS();
}
