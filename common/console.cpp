#include "common/console.h"

FILE* consoleIn = stdin;
FILE* consoleOut = stdout;
FILE* consoleErr = stderr;
