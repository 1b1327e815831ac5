// Feeds any bytes to the game as its input and checks that it answers them as the game can.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "exit_status.h"
#include "game.h"
#include "streams.h"

namespace {

enum Text { Prompt, TooLowText, TooHighText, CorrectText, PlayAgain, LineEnd };
constexpr std::string_view kTexts[] = {"Please enter a guess between 1 and 100: ",
                                       "Your guess was too low.\n\n",
                                       "Your guess was too high.\n\n",
                                       "Your guess was correct!\n\n",
                                       "Play again? (Y/N)\n",
                                       "\n"};

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Splits the output into the game's own texts; anything else is a fault.
std::vector<Text> splitTexts(std::string_view output) {
  std::vector<Text> texts;
  while (!output.empty()) {
    int match = Prompt;
    while (match <= LineEnd && output.rfind(kTexts[match], 0) != 0) {
      ++match;
    }
    require(match <= LineEnd);
    texts.push_back(static_cast<Text>(match));
    output.remove_prefix(kTexts[match].size());
  }
  return texts;
}

// Whether `next` may follow `text`: verdicts follow prompts, the question follows a hit and a
// line end follows each answer; a line end right after a prompt closes a run without input.
bool mayFollow(Text text, Text next) {
  switch (text) {
    case Prompt:
      return next != PlayAgain;
    case TooLowText:
    case TooHighText:
    case LineEnd:
      return next == Prompt;
    case CorrectText:
      return next == PlayAgain;
    case PlayAgain:
      return next == LineEnd;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  StringInput in(std::string_view(reinterpret_cast<const char*>(data), size));
  StringOutput out;
  StringOutput err;
  const int status = playGame(in, out, err, 1585);
  const std::vector<Text> texts = splitTexts(out.text);

  require(err.text.empty() && texts.size() >= 2 && texts.front() == Prompt);
  std::size_t prompts = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    prompts += texts[i] == Prompt ? 1 : 0;
    const bool closing = i > 0 && texts[i] == LineEnd && texts[i - 1] == Prompt;
    require(i + 1 == texts.size() || (!closing && mayFollow(texts[i], texts[i + 1])));
  }
  // Every prompt but the first follows input that was taken.
  require(prompts <= size + 1);

  const std::size_t consumed = size - in.unread().size();
  const char lastRead = consumed > 0 ? static_cast<char>(data[consumed - 1]) : '\0';
  const bool stopped = (lastRead == 'n' || lastRead == 'N') && texts.back() == LineEnd &&
                       texts[texts.size() - 2] == PlayAgain;
  require(status == (stopped ? ExitSuccess : ExitFailure));
  require(status == ExitSuccess || consumed == size);
  return 0;
}
