// Result words the simulated module answers with. Command execution keeps -1
// for an unknown function name or a malformed parameter; every other refusal
// has a value of its own so that a test can tell which check refused.
#pragma once

#include <cstdint>

namespace sim::module {

constexpr int32_t RESULT_OK = 0;
constexpr int32_t RESULT_ERROR = -1;             // unknown command, malformed parameter
constexpr int32_t RESULT_MALFORMED_BODY = -2;    // body too short, string unterminated or empty
constexpr int32_t RESULT_NAME_TOO_LONG = -3;     // a file or module name over 40 characters
constexpr int32_t RESULT_LENGTH_BEYOND_BODY = -4;  // file write: length word larger than the body
constexpr int32_t RESULT_BAD_OBJECT = -5;        // not an ELF32 big-endian PowerPC relocatable
constexpr int32_t RESULT_NO_ENTRY_POINT = -6;    // entry point not a global function of the object
constexpr int32_t RESULT_NO_FILE = -7;           // no such file (or loaded module, for a remove)
constexpr int32_t RESULT_BAD_IMAGE = -8;         // image fails the segment's format checks
constexpr int32_t RESULT_NO_REVISION = -9;       // image carries no readable revision
constexpr int32_t RESULT_NOT_LOADED = -10;       // unld: no module of that name
constexpr int32_t RESULT_BAD_PADDING = -11;      // file write: after the file's bytes, anything
                                                 // but 0x0A up to a whole word
constexpr int32_t RESULT_BAD_TASK = -12;         // download: priority outside 0-255 or stack
                                                 // size not positive

}  // namespace sim::module
