// The files the program carries: two module-side libraries, the images of the
// five ROM segments and the lanboot image, each in a PayloadRecord linked into
// the program, so that nothing is read from the host's disk at run time.
#pragma once

#include <cstdint>
#include <cstdio>

// One carried file. Layout (integers in host byte order): the 52-byte header
// below, then fileSize bytes of data, zero padding up to a multiple of 4, and
// four bytes 0x0A. recordSize = 52 + fileSize rounded up to 4 + 4.
struct PayloadRecord {
  uint32_t recordSize;
  uint32_t fileSize;
  int32_t revision;
  char name[40];  // NUL-terminated, NUL-padded
  // data follows the header
};
static_assert(sizeof(PayloadRecord) == 52);

// The file's bytes, right behind the header.
inline const unsigned char* payloadData(const PayloadRecord* record) {
  return reinterpret_cast<const unsigned char*>(record) + sizeof(PayloadRecord);
}

// The carried records, in the order of the release table; null-terminated.
extern const PayloadRecord* const payloadRecords[];
constexpr int PAYLOAD_RECORD_COUNT = 8;

// The record carried under name, or null.
const PayloadRecord* payloadFind(const char* name);

// One row of the ROM segment table.
struct RomSegment {
  int32_t number;
  const char* segDesc;          // 8 characters, blank-padded
  const PayloadRecord* efile;   // the segment's image
  const char* progCmd;          // module function that programs the segment
};

constexpr int ROM_SEGMENT_COUNT = 5;
constexpr int32_t LANBOOT_SEGMENT = 99;  // the command line's number for lanboot

// The table, indexed by segment number 0 to 4.
extern const RomSegment romSegments[ROM_SEGMENT_COUNT];

// The lanboot segment, outside the table.
const PayloadRecord* lanbootImage();  // "bootrom.hex"
extern const char* const lanbootProgCmd;  // "q7340FlashProgLanboot"

// Revision tables: the head line, and one row per segment.
void printRevisionHead(FILE* out);
void printRevisionRow(FILE* out, const RomSegment& segment, int32_t revision);
