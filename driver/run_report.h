// The report of a run for fleet tooling (--report=FILE): one JSON document
// with the program's version, the module's address, the revisions carried and
// read, the segments chosen, each step's result, the final status and the
// error lines. The session tells it what happens; it is written, atomically,
// when the run ends, whether the run succeeded or not. Nothing is printed.
#pragma once

#include <cstdint>

#include "driver/options.h"

// Starts collecting for a report to be written to `path`.
void reportStart(const char* path);
bool reportWanted();

// The session reached the module: the report will be written.
void reportSession(const UpdateOptions* options, const int32_t carried[5], int32_t carriedLanboot);
// Revisions the module reported (the first read is "before", a later one "after").
void reportRevisions(const int32_t revisions[5]);
// The segments chosen for programming in a pass, and whether lanboot goes too.
void reportChosen(const int32_t chosen[5], int32_t lanboot);
// One step of the session: "load", "revisions", "store", "program", "remove",
// "unload" or "reboot", what it was about, and its result.
void reportStep(const char* step, const char* subject, int32_t result);

// Writes the report with the final status: 0, or -1 with a line on standard
// error when the file cannot be written. Nothing when no session ran.
int32_t reportFinish(int32_t status);
