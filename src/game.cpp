#include "game.h"

#include <algorithm>
#include <limits>
#include <random>

#include "exit_status.h"
#include "guess_judgement.h"

namespace {

constexpr char kPrompt[] = "Please enter a guess between 1 and 100: ";
constexpr char kPlayAgain[] = "Play again? (Y/N)\n";
constexpr char kOutputLost[] = "guess: could not write to standard output\n";

constexpr int kEnd = Input::End;
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

enum class GuessRead { Number, NotANumber, End };

// The text that answers a guess with this verdict.
const char* verdictText(GuessVerdict verdict) {
  switch (verdict) {
    case TooLow:
      return "Your guess was too low.\n\n";
    case TooHigh:
      return "Your guess was too high.\n\n";
    case Correct:
      break;
  }
  return "Your guess was correct!\n\n";
}

// True for the characters that formatted extraction skips in the classic locale.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Skips white space; returns the next character without taking it, or kEnd.
int skipSpace(Input& in) {
  int c = in.peek();
  while (c != kEnd && isSpace(c)) {
    c = in.next();
  }
  return c;
}

// Reads an optionally signed whole number into `guess`, leaving the character after it unread.
// Numbers beyond 32 bits are consumed whole and clamped, which keeps their verdict.
GuessRead readGuess(Input& in, std::int32_t& guess) {
  int c = skipSpace(in);
  if (c == kEnd) {
    return GuessRead::End;
  }
  const bool negative = c == '-';
  if (c == '-' || c == '+') {
    c = in.next();
  }
  if (!isDigit(c)) {
    return GuessRead::NotANumber;
  }
  std::int64_t magnitude = 0;
  for (; isDigit(c); c = in.next()) {
    magnitude = std::min(magnitude * 10 + (c - '0'), kInt32Max + 1);
  }
  guess = static_cast<std::int32_t>(negative ? std::max(-magnitude, kInt32Min)
                                             : std::min(magnitude, kInt32Max));
  return GuessRead::Number;
}

// Discards input through the next line end; false where input ends first.
bool discardLine(Input& in) {
  for (int c = in.take(); c != kEnd; c = in.take()) {
    if (c == '\n') {
      return true;
    }
  }
  return false;
}

// Asks for guesses until one equals `secretNum`; false where input ends or output fails first.
bool playRound(Input& in, Output& out, std::int32_t secretNum) {
  std::int32_t userNum = 0;
  while (userNum != secretNum) {
    if (!out.write(kPrompt)) {
      return false;
    }
    switch (readGuess(in, userNum)) {
      case GuessRead::Number:
        out.write(verdictText(compareGuess(secretNum, userNum)));
        break;
      case GuessRead::NotANumber:
        if (!discardLine(in)) {
          return false;
        }
        break;
      case GuessRead::End:
        return false;
    }
  }
  return true;
}

// Reads the answer to the play-again question: its first character that is not white space.
int readAnswer(Input& in) {
  const int c = skipSpace(in);
  return c == kEnd ? kEnd : in.take();
}

// Flushes `out` and returns `status`, or reports on `err` and fails where output was lost.
int finish(Output& out, Output& err, int status) {
  if (out.flush()) {
    return status;
  }
  err.write(kOutputLost);
  err.flush();
  return ExitFailure;
}

// Ends a run that cannot go on: one closing line end, then failure.
int stopEarly(Output& out, Output& err) {
  out.write("\n");
  return finish(out, err, ExitFailure);
}

}  // namespace

int playGame(Input& in, Output& out, Output& err, std::uint32_t seed) {
  std::mt19937 generator(seed);
  char again = 'Y';
  while (again != 'N' && again != 'n') {
    const auto secretNum = static_cast<std::int32_t>(generator() % 100) + 1;
    if (!playRound(in, out, secretNum) || !out.write(kPlayAgain)) {
      return stopEarly(out, err);
    }
    const int answer = readAnswer(in);
    if (answer == kEnd) {
      return stopEarly(out, err);
    }
    again = static_cast<char>(answer);
    out.write("\n");
    out.flush();
  }
  return finish(out, err, ExitSuccess);
}
