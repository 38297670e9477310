// Elapsed-seconds timer and millisecond sleep: every wait of the program goes
// through these two, so that a test can install a virtual clock and the
// simulated mainframe can charge its bus time to the same clock.
#pragma once

#include <cstdint>

// Seconds from an arbitrary origin, as a floating-point number. A time-out
// has expired when the difference of two readings is strictly greater than
// its limit.
double elapsedSeconds();

// Sleeps for a whole number of milliseconds (nothing for 0 or less).
void sleepMilliseconds(int32_t milliseconds);

// Virtual clock. Once installed, elapsedSeconds() reads virtual time and a
// sleep advances it at once and returns. Process-wide; tests install it at the
// start of a test case (every test case runs in a process of its own).
void clockUseVirtual(double startSeconds = 0.0);
bool clockIsVirtual();

// Adds bus or module time to the virtual clock; ignored on the real clock,
// where such time passes by itself.
void clockCharge(double seconds);
