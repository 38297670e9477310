// The GNU long options, taken before the program's own option parser sees the
// arguments: --help, --version, --visa-library=PATH, --visa-trace=FILE and
// --report=FILE,
// exactly so written.
// Every other argument reaches that parser unchanged and in order.
#pragma once

#include <cstdint>

// More arguments than this are not looked at.
constexpr int32_t MAX_ARGUMENTS = 1024;

struct LongOptions {
  int32_t help = 0;                   // --help: the usage text on standard output, exit 0
  int32_t version = 0;                // --version: the version line, exit 0
  const char* visaLibrary = nullptr;  // --visa-library=PATH: that VISA library and no other
  const char* visaTrace = nullptr;    // --visa-trace=FILE: every VISA call recorded in FILE
  const char* report = nullptr;       // --report=FILE: the run's report, as JSON, in FILE
};

// Fills `options` from the long options among argv[1..argc-1] and copies
// argument 0 and every other argument, in order, into `rest` (with a null
// after them); returns how many went to `rest`.
int32_t takeLongOptions(int32_t argc, const char* const argv[], LongOptions* options,
                        const char* rest[], int32_t capacity);
