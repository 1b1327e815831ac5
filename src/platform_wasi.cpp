// WASI, for WebAssembly: no signals, and no terminal modes, so a read of nothing is the end of
// input. The file descriptors and the clock are in platform_fd.cpp.
#include "platform.h"

void prepareStandardStreams() {}

EmptyRead afterEmptyRead() { return EmptyRead::EndOfInput; }
