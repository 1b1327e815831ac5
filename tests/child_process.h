#ifndef GUESS_TESTS_CHILD_PROCESS_H_
#define GUESS_TESTS_CHILD_PROCESS_H_

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// A program running with pipes on its standard streams.
struct ChildProcess {
  pid_t pid = -1;
  int input = -1;
  int output = -1;
  int errors = -1;
};

// How a child ended.
struct ChildExit {
  int status = -1;
  std::string errors;
};

// Starts `argv`; its standard output goes to `outputPath` instead of a pipe when one is given.
ChildProcess startChild(const std::vector<std::string>& argv, const char* outputPath = nullptr);

// Writes `text` to the child's standard input; false where the child no longer reads.
bool sendInput(const ChildProcess& child, std::string_view text);

// Closes the child's standard input, so that it sees the end of input.
void closeInput(ChildProcess& child);

// Reads standard output until it ends with one of `endings`, or until it ends at all when none
// is given; a child that stays silent for `seconds` fails the test and is killed.
std::string readOutput(ChildProcess& child, std::initializer_list<std::string_view> endings = {},
                       int seconds = 30);

// The child's peak resident memory so far in KiB, as Linux counts it; -1 where unknown.
long peakMemoryKiB(const ChildProcess& child);

// Waits for the child to end, killing it after `seconds`.
ChildExit waitChild(ChildProcess& child, int seconds = 30);

#endif  // GUESS_TESTS_CHILD_PROCESS_H_
