// Command-line option parser. Options are "-x" or "/x", one letter per
// argument; in the option string a letter followed by ":" takes an argument
// (in the same argument or the next one), a letter followed by ";" takes an
// optional argument in the same argument only.
#pragma once

#include <cstdint>

// Index of the argument last examined; 0 at start, so argument 0 is never parsed.
extern int32_t optIndex;
// Argument of the option just returned, or the argument that stopped parsing;
// null when there is none.
extern const char* optArg;

// Returns the next option letter (also letters that are not in optionString,
// and 0 for a lone "-" or "/"), or -1 when the options end: at the end of the
// arguments, at the first argument that is not an option (optArg then points
// at it), or when the argument of the last option is missing.
int32_t getOption(int32_t argc, const char* const argv[], const char* optionString);
