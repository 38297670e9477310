// The program's three console streams. They are standard input, output and
// error; tests point them at files of their own to run the program's entry
// in-process and compare transcripts byte for byte.
#pragma once

#include <cstdio>

extern FILE* consoleIn;
extern FILE* consoleOut;
extern FILE* consoleErr;
