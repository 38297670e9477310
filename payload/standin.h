// Stand-in firmware: where a generated stand-in file carries its revision, and
// the reader that finds it again in an image (the simulated module reads the
// revision of a programmed segment back with it).
//
// - S-record images ("*.hex"): the first record is an S0 header record whose
//   data is the ASCII text "rev=" followed by the decimal revision, e.g.
//   "S00D00007265763D31313030303046" for revision 110000.
// - ELF objects ("*.out"): a section named ".revision" holding the decimal
//   revision as ASCII text, NUL-terminated.
//
// The real firmware carries no such marks; the reader refuses it.
#pragma once

#include <cstdint>

// Name of the ELF section that holds the revision text.
constexpr const char* STANDIN_REVISION_SECTION = ".revision";
// Text that opens the data of the S0 header record, before the decimal digits.
constexpr const char* STANDIN_SREC_REVISION_TAG = "rev=";

// Reads the revision that a stand-in image carries. Returns 0 and sets
// *revision, or returns -1 when the bytes are neither a stand-in ELF object
// nor a stand-in S-record image, or the revision text is missing, damaged or
// outside the signed 32-bit range. Reads no byte outside data[0..size).
int32_t standinRevision(const unsigned char* data, uint32_t size, int32_t* revision);
