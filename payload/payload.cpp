// The record table, the ROM segment table and the revision table printers.
// The records themselves are linked in by the generated payload_records.S;
// payload_records.inc (generated from manifest.txt) lists their symbols in
// the order of the manifest, one Q7_PAYLOAD_RECORD(symbol) per file.
#include "payload/payload.h"

#include <cstring>

extern "C" {
#define Q7_PAYLOAD_RECORD(symbol) extern const PayloadRecord symbol;
#include "payload_records.inc"
#undef Q7_PAYLOAD_RECORD
}

const PayloadRecord* const payloadRecords[] = {
#define Q7_PAYLOAD_RECORD(symbol) &symbol,
#include "payload_records.inc"
#undef Q7_PAYLOAD_RECORD
    nullptr};
static_assert(sizeof(payloadRecords) / sizeof(payloadRecords[0]) == PAYLOAD_RECORD_COUNT + 1,
              "payload/manifest.txt must list PAYLOAD_RECORD_COUNT files");

const PayloadRecord* payloadFind(const char* name) {
  if (name == nullptr) return nullptr;
  for (const PayloadRecord* const* record = payloadRecords; *record != nullptr; ++record) {
    if (std::strcmp((*record)->name, name) == 0) return *record;
  }
  return nullptr;
}

// The symbols are named after the files (q7payload_ and the name with every
// character other than a letter or digit turned into '_').
const RomSegment romSegments[ROM_SEGMENT_COUNT] = {
    {0, "OS      ", &q7payload_vxWorks_rom_hex, "q7340FlashProgRomboot"},
    {1, "FPGA1   ", &q7payload_vxiga_hex, "q7340FlashProgVxiga"},
    {2, "FPGA2   ", &q7payload_bbbga_hex, "q7340FlashProgBbbga"},
    {3, "FPGA3   ", &q7payload_fibga_hex, "q7340FlashProgFibga"},
    {4, "selfTest", &q7payload_selfTest_out, "q7340FlashProgSelftest"},
};

const PayloadRecord* lanbootImage() { return &q7payload_bootrom_hex; }

const char* const lanbootProgCmd = "q7340FlashProgLanboot";

void printRevisionHead(FILE* out) { std::fputs("ROM Segment   Segment Desc    Revision\n", out); }

void printRevisionRow(FILE* out, const RomSegment& segment, int32_t revision) {
  std::fprintf(out, "%.1d             %s        %d\n", static_cast<int>(segment.number),
               segment.segDesc, static_cast<int>(revision));
}
