#ifndef GUESS_EXIT_STATUS_H_
#define GUESS_EXIT_STATUS_H_

// The player answered N or n and everything written reached standard output.
constexpr int ExitSuccess = 0;
// Input ended before the player chose to stop, or standard output could not be written.
constexpr int ExitFailure = 1;

#endif  // GUESS_EXIT_STATUS_H_
