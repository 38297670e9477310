// A record of every VISA call the program makes, for support: one JSON object
// per line, written and flushed as each call returns. The format is described
// in docs/visa-trace.md. While no trace is open the table in force is the
// provider's own, so the binding pays nothing for it.
#pragma once

#include <cstdint>

// Starts writing the trace to `path` (created or truncated): 0, or -1 when
// the file cannot be opened. `programVersion` goes into the first line.
int32_t visaTraceOpen(const char* path, const char* programVersion);

// Ends the trace and closes the file.
void visaTraceClose();
