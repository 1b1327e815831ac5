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

enum class Stream { Input, Output, Error };

// Writes all `size` bytes to `stream`, standard output or standard error; false where any could
// not be written.
bool writeStandardStream(Stream stream, const char* data, std::size_t size);

// The two functions above are built, in platform.cpp, on the primitives below, which each
// platform has in a file of its own: platform_posix.cpp, platform_win32.cpp, platform_wasi.cpp,
// with platform_fd.cpp for what POSIX and WASI share.

// What a read of standard input that returned nothing meant.
enum class EmptyRead { EndOfInput, ReadAgain, HungUp };

// One read of standard input: the count of bytes read, 0, or -1 with errno set.
std::ptrdiff_t rawRead(char* data, std::size_t size);

// One write of `stream`, standard output or standard error: the count of bytes written, or -1
// with errno set.
std::ptrdiff_t rawWrite(Stream stream, const char* data, std::size_t size);

// After a call on `stream` failed, waits until it may be made again where the failure was an
// interruption or a stream left non-blocking; returns false where the failure stands.
bool waitToRetry(Stream stream);

// After a read of standard input returned nothing, waits for keys where the terminal returns
// from reads at once, and tells what the empty read meant.
EmptyRead afterEmptyRead();

#endif  // GUESS_PLATFORM_H_
