// The revision tables shown to the operator: a title line, the head and one
// row per ROM segment.
#pragma once

#include <cstdint>
#include <cstdio>

// "ROM segment revisions in this update:" with the revisions carried in the
// program, then a blank line.
void printUpdateRevisions(FILE* out);

// The head and the rows of segments 0 to 4 with the given revisions, indexed
// by segment number (the title line is the caller's).
void printRevisionTable(FILE* out, const int32_t revisions[]);
