#include "game.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "exit_status.h"
#include "streams.h"

namespace {

// Seed 1585 draws the secrets 63, 70 and 26, in that order.
constexpr std::uint32_t kSeed = 1585;

// Spells out a dialogue written as names of the game's texts, such as "P LOW P HIT AGAIN NL".
std::string texts(const std::string& names) {
  std::istringstream in(names);
  std::string text;
  for (std::string name; in >> name;) {
    text += name == "P"       ? "Please enter a guess between 1 and 100: "
            : name == "LOW"   ? "Your guess was too low.\n\n"
            : name == "HIGH"  ? "Your guess was too high.\n\n"
            : name == "HIT"   ? "Your guess was correct!\n\n"
            : name == "AGAIN" ? "Play again? (Y/N)\n"
            : name == "NL"    ? "\n"
                              : "?";
  }
  return text;
}

struct Outcome {
  std::string out;
  std::string err;
  std::string unread;
  int status;
};

Outcome play(const std::string& input, Output* out = nullptr) {
  StringInput in(input);
  StringOutput captured;
  StringOutput err;
  const int status = playGame(in, out != nullptr ? *out : captured, err, kSeed);
  return {captured.text, err.text, std::string(in.unread()), status};
}

// Takes the first `room` bytes written, then fails like a full disk.
struct FullDisk final : Output {
  explicit FullDisk(std::size_t space) : room(space) {}
  bool deliver(const char* data, std::size_t size) override {
    const std::size_t taken = std::min(size, room - bytes.size());
    bytes.append(data, taken);
    return taken == size;
  }
  std::size_t room;
  std::string bytes;
};

TEST(PlayGameTest, PlaysDialoguesByteForByte) {
  const std::string longNumber(200000, '7');
  const struct {
    const char* name;
    std::string input;
    const char* output;
    int status;
  } cases[] = {
      {"low, high, hit, n", "50\n75\n63\nn\n", "P LOW P HIGH P HIT AGAIN NL", ExitSuccess},
      {"N ends too", "63\nN\n", "P HIT AGAIN NL", ExitSuccess},
      {"no ends on its n", "63\nno\n", "P HIT AGAIN NL", ExitSuccess},
      {"several guesses on one line", "63 y 50 60 70 n",
       "P HIT AGAIN NL P LOW P LOW P HIT AGAIN NL", ExitSuccess},
      {"sign, blanks, trailing letters", "+7\n   42\n\n\t42abc\n63\nn\n",
       "P LOW P LOW P LOW P P HIT AGAIN NL", ExitSuccess},
      {"outside the named range", "0\n-3\n101\n63\nn\n", "P LOW P LOW P HIGH P HIT AGAIN NL",
       ExitSuccess},
      {"beyond 32 bits",
       "99999999999\n-99999999999\n2147483648\n" + longNumber + "\n-" + longNumber +
           "\n000000000000000000063\nn\n",
       "P HIGH P LOW P HIGH P HIGH P LOW P HIT AGAIN NL", ExitSuccess},
      {"lines that are no number",
       "abc 63\n-\n+ 63\n!\n" + std::string("\0\x01\xff\n", 4) + "63\nn",
       "P P P P P P HIT AGAIN NL", ExitSuccess},
      {"yes leaves es behind", "63\nyes\n70\nn\n", "P HIT AGAIN NL P P HIT AGAIN NL", ExitSuccess},
      {"CR LF line ends", "63\r\nn\r\n", "P HIT AGAIN NL", ExitSuccess},
      {"no input", "", "P NL", ExitFailure},
      {"input ends at a guess", "50\n", "P LOW P NL", ExitFailure},
      {"input ends at an answer", "63\n \n", "P HIT AGAIN NL", ExitFailure},
      {"input ends inside a bad line", "63\ny\nzzz", "P HIT AGAIN NL P NL", ExitFailure},
  };
  for (const auto& c : cases) {
    const Outcome outcome = play(c.input);
    EXPECT_EQ(outcome.out, texts(c.output)) << c.name;
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_EQ(outcome.err, "") << c.name;
  }
}

TEST(PlayGameTest, AnyAnswerButNStartsAnotherRound) {
  for (const char* answer : {"Y", "y", "x", "7", "\xff"}) {
    EXPECT_EQ(play(std::string("63\n") + answer + "\n70\nn\n").out,
              texts("P HIT AGAIN NL P HIT AGAIN NL"))
        << answer;
  }
}

TEST(PlayGameTest, LeavesWhatFollowsTheAnswerUnread) {
  EXPECT_EQ(play("63\nno\n").unread, "o\n");
  EXPECT_EQ(play("63 n 99").unread, " 99");
}

TEST(PlayGameTest, LostOutputFailsBeforeTheNextRead) {
  for (const std::size_t room : {0U, 10U, 100U}) {
    FullDisk disk(room);
    const Outcome outcome = play("63\ny\n70\nn\n", &disk);
    EXPECT_EQ(outcome.status, ExitFailure) << room;
    EXPECT_EQ(outcome.err, "guess: could not write to standard output\n") << room;
    EXPECT_EQ(disk.bytes, texts("P HIT AGAIN NL P").substr(0, room)) << room;
  }
}

}  // namespace
