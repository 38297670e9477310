// The update driver: the program's entry. It reads the command line, prints
// what the options ask for, completes the settings at the prompts, runs the
// update session and ends with the closing prompt.
//
// Console text goes through consoleIn, consoleOut and consoleErr only; the
// exit status is 0 or negative (-1 for a refused setting or a failed step).
#pragma once

#include <cstdint>

#include "driver/options.h"

constexpr const char* PROGRAM_VERSION = "1.0.1.0";

// The whole run; returns the exit status.
int32_t q7340Main(int32_t argc, const char* const argv[]);

// The session that q7340Main runs; runUpdateSession unless a test puts a
// stand-in here.
extern int32_t (*updateSessionEntry)(UpdateOptions* options);
