// Live progress on a terminal: the bytes of each stored image with the rate,
// the seconds a programming function has run, the seconds of a reboot wait.
// It is drawn on one line of standard error and erased before the next
// regular line, on either stream, so that what stays on the screen is exactly
// what a log of the run holds. Nothing is drawn unless standard error is a
// terminal and the run is not quiet.
#pragma once

#include "common/progress.h"

// Starts the view when standard error is a terminal (and `quiet` is 0): from
// now on consoleOut and consoleErr erase a drawn line before they write.
void progressViewStart(int quiet);

// Erases what is drawn and draws nothing more.
void progressViewStop();

// Names what the next reports are about ("vxWorks_rom.hex", "programming").
void progressViewSubject(const char* subject);

// Draws a report, at most ten times a second; nothing when the view is off.
void progressViewShow(const ProgressReport* report);
