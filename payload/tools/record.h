// Build-time helper: the bytes of one payload record (payload/payload.h) for a
// file. The packer tool writes them to a blob that payload_records.S links in.
// Integers are written in the byte order of the machine that runs the tool,
// which is the machine the program is built for (no cross build).
#pragma once

#include <cstdint>
#include <vector>

// Fills *record with the header (recordSize, fileSize, revision, the name
// NUL-padded to 40 bytes), the file, zero padding to a multiple of 4 and four
// 0x0A bytes. Returns 0, or -1 when the name is empty or longer than 39
// characters, or the record would not fit a 32-bit recordSize.
int32_t payloadBuildRecord(const char* name, int32_t revision, const unsigned char* data,
                           uint32_t fileSize, std::vector<unsigned char>* record);
