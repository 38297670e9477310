// The program's command line: its option letters, the usage text and the
// reading of number arguments.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver/options.h"

// Letters followed by ":" take an argument; -v and -? are handled as letters
// outside the string.
constexpr const char* OPTION_STRING = "d:fI:L:nqrRS:uV:";

// What parsing found wrong with an argument that no field could take. Each
// flag describes the value in hand, so a later valid option clears it.
struct CommandLineFaults {
  int32_t interfaceTooLong = 0;  // -V longer than VXI_INTERFACE_MAX
  int32_t ipAddressTooLong = 0;  // -I longer than IP_ADDRESS_MAX
  const char* badLogicalAddress = nullptr;  // -L text that is no 32-bit decimal number
};

// Applies the options in the order given; prints the usage text at once for
// -u and -?. Options are never rejected here: unknown letters are ignored.
void parseCommandLine(int32_t argc, const char* const argv[], UpdateOptions* options,
                      CommandLineFaults* faults);

// Checks the settings in hand once parsing is done: the segment number, and
// the -V, -I and -L values that no module or field could take. Prints one
// "Error: " line on consoleErr for the first fault found and returns -1;
// returns 0 when all is well.
int32_t checkSettings(const UpdateOptions* options, const CommandLineFaults* faults);

// Refuses a logical address that names no module: the error line and -1.
int32_t checkLogicalAddress(int32_t logicalAddress);
// The same error line for a text that is no logical address, shown as typed; -1.
int32_t refuseLogicalAddress(const char* text);
// A logical address as the operator types it: the whole text one decimal
// number in the int32_t range, blanks around it aside. False for anything
// else ("abc", "l28", "12x", "99999999999"), leaving *value alone.
bool parseLogicalAddress(const char* text, int32_t* value);

// The part of argument 0 after its last "/" (a backslash does not count).
const char* programNameOf(const char* argument0);

// Decimal value with atoi's reading (blanks, a sign, the leading digits; 0 when
// there are none), held to the int32_t range instead of wrapping around.
int32_t decimalValue(const char* text);

// The usage text, on `err`, showing the defaults rather than the values in hand.
void printUsage(FILE* err, const char* programName);
