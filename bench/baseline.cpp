// The benchmark's baseline, not part of the game: the plain way to write it, with the same
// generator and texts, C stdio, scanf reads and a flush of standard output before every read.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>

int main() {
  std::mt19937 generator(static_cast<std::uint32_t>(std::time(nullptr)));
  char again = 'Y';
  while (again != 'N' && again != 'n') {
    const int secret = static_cast<int>(generator() % 100) + 1;
    int guess = 0;
    while (guess != secret) {
      std::fputs("Please enter a guess between 1 and 100: ", stdout);
      std::fflush(stdout);
      if (std::scanf("%d", &guess) != 1) {
        return 1;
      }
      std::fputs(guess < secret   ? "Your guess was too low.\n\n"
                 : guess > secret ? "Your guess was too high.\n\n"
                                  : "Your guess was correct!\n\n",
                 stdout);
    }
    std::fputs("Play again? (Y/N)\n", stdout);
    std::fflush(stdout);
    if (std::scanf(" %c", &again) != 1) {
      return 1;
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  return 0;
}
