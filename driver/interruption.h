// Holding the signals that ask the program to end (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) while the module programs its flash: a module interrupted between
// two programming functions is left half updated, so such a signal is taken
// as a request to stop once programming is over. Outside that window the
// signals end the program as usual. SIGKILL cannot be held, and the terminal
// is left alone.
#pragma once

#include <cstdint>

// Blocks the four signals; what arrives from now on stays pending.
void holdStopSignals();

// Takes the held signals that arrived and, for the first one, tells the
// operator on standard error that programming goes on. Cheap enough to call
// from every poll of a wait. Nothing happens while the signals are not held.
void noteStopSignals();

// Takes what is still pending and unblocks the four signals. The first signal
// that arrived while they were held, or 0.
int32_t releaseStopSignals();

// "SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT"; "signal N" for any other.
const char* stopSignalName(int32_t signal);
