// A tap on the program's console streams: while it is on, consoleOut and
// consoleErr write through to the streams they were, and every piece of text
// passes a listener first (the progress view erases its line there, the run
// report keeps the error lines). Text reaches the terminal or the log
// unchanged and in order.
#pragma once

#include <cstddef>

// Called with each piece of text before it is written; `error` tells the stream.
typedef void (*ConsoleListener)(bool error, const char* text, size_t size);

// Puts the tap on (once) and adds a listener; at most four.
void consoleTapListen(ConsoleListener listener);

// Takes the tap off: flushes, and puts the streams back as they were.
void consoleTapStop();
