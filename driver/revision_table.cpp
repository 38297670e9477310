// Revision tables over the ROM segment table of the payload.
#include "driver/revision_table.h"

#include "payload/payload.h"

void printRevisionTable(FILE* out, const int32_t revisions[]) {
  printRevisionHead(out);
  for (int32_t number = 0; number < ROM_SEGMENT_COUNT; ++number)
    printRevisionRow(out, romSegments[number], revisions[number]);
}

void printUpdateRevisions(FILE* out) {
  int32_t carried[ROM_SEGMENT_COUNT];
  for (int32_t number = 0; number < ROM_SEGMENT_COUNT; ++number)
    carried[number] = romSegments[number].efile->revision;
  std::fputs("ROM segment revisions in this update:\n", out);
  printRevisionTable(out, carried);
  std::fputs("\n", out);
}
