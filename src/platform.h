#ifndef GUESS_PLATFORM_H_
#define GUESS_PLATFORM_H_

#include <cstddef>
#include <cstdint>

// The calendar clock: seconds since 1970-01-01 00:00:00 UTC, 64 bits wide on every platform.
std::int64_t readClock();

// Readies the process's standard streams: text mode on Windows, no SIGPIPE on POSIX.
void prepareStandardStreams();

// Reads at most `size` bytes of standard input, waiting for at least one; returns their count,
// 0 at the end of input, or -1 with errno set where the read failed.
std::ptrdiff_t readStandardInput(char* data, std::size_t size);

// Writes all `size` bytes to standard output; false where any could not be written.
bool writeStandardOutput(const char* data, std::size_t size);

#endif  // GUESS_PLATFORM_H_
