// Applies the command-line options to UpdateOptions and prints the usage text.
#include "driver/command_line.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "driver/get_option.h"
#include "payload/payload.h"

namespace {

// Copies text into a field of capacity maxLength + 1; a longer text leaves the
// field as it was and returns 0.
int32_t copyIfFits(char* field, int32_t maxLength, const char* text) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  if (length > static_cast<size_t>(maxLength)) return 0;
  std::memcpy(field, text, length + 1);
  return 1;
}

}  // namespace

const char* programNameOf(const char* argument0) {
  if (argument0 == nullptr) return "q7340romupdate";
  const char* lastSlash = std::strrchr(argument0, '/');
  return lastSlash != nullptr ? lastSlash + 1 : argument0;
}

int32_t decimalValue(const char* text) {
  if (text == nullptr) return 0;
  long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool parseLogicalAddress(const char* text, int32_t* value) {
  if (text == nullptr) return false;
  const char* start = text;
  while (std::isspace(static_cast<unsigned char>(*start))) ++start;
  if (*start == '\0') return false;
  errno = 0;
  char* end = nullptr;
  long long number = std::strtoll(start, &end, 10);
  if (end == start || errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return false;
  // strtoll takes blanks and a sign only ahead of the digits.
  if (!std::isdigit(static_cast<unsigned char>(end[-1]))) return false;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0') return false;
  *value = static_cast<int32_t>(number);
  return true;
}

void parseCommandLine(int32_t argc, const char* const argv[], UpdateOptions* options,
                      CommandLineFaults* faults) {
  options->programName = programNameOf(argc > 0 ? argv[0] : nullptr);
  for (int32_t letter = getOption(argc, argv, OPTION_STRING); letter != -1;
       letter = getOption(argc, argv, OPTION_STRING)) {
    switch (letter) {
      case 'd':
        options->dumpSegment = decimalValue(optArg);
        break;
      case 'f':
        options->force = 1;
        break;
      case 'I':
        faults->ipAddressTooLong = !copyIfFits(options->ipAddress, IP_ADDRESS_MAX, optArg);
        std::strcpy(options->vxiInterface, "IP");
        faults->interfaceTooLong = 0;
        break;
      case 'L':
        // A text that is no number names no module: it is refused, never read as 0.
        faults->badLogicalAddress =
            parseLogicalAddress(optArg, &options->logicalAddress) ? nullptr : optArg;
        break;
      case 'n':
        options->nonInteractive = 1;
        break;
      case 'q':
        options->quiet = 1;
        break;
      case 'r':
        options->revisionOnly = 1;
        break;
      case 'R':
        options->reboot = 1;
        break;
      case 'S':
        options->segment = decimalValue(optArg);
        break;
      case 'u':
      case '?':
        printUsage(consoleErr, options->programName);
        options->usageShown = 1;
        break;
      case 'v':
        options->showVersion = 1;
        break;
      case 'V':
        faults->interfaceTooLong =
            !copyIfFits(options->vxiInterface, VXI_INTERFACE_MAX, optArg);
        faults->ipAddressTooLong = 0;  // off the LAN path: nothing reads the address
        break;
      default:
        break;  // letters the program does not know pass silently
    }
  }
}

int32_t checkSettings(const UpdateOptions* options, const CommandLineFaults* faults) {
  if (options->segment < -1 || options->segment >= ROM_SEGMENT_COUNT) {
    std::fprintf(consoleErr, "Error: invalid specified rom segment, -S, must be 0 thru %d\n",
                 ROM_SEGMENT_COUNT - 1);
    return -1;
  }
  if (faults->interfaceTooLong) {
    std::fprintf(consoleErr, "Error: interface name longer than %d characters\n",
                 VXI_INTERFACE_MAX);
    return -1;
  }
  if (faults->ipAddressTooLong) {
    std::fprintf(consoleErr, "Error: IP address longer than %d characters\n", IP_ADDRESS_MAX);
    return -1;
  }
  if (faults->badLogicalAddress != nullptr) return refuseLogicalAddress(faults->badLogicalAddress);
  return checkLogicalAddress(options->logicalAddress);
}

int32_t refuseLogicalAddress(const char* text) {
  std::fprintf(consoleErr, "Error: invalid logical address %s, must be %d thru %d\n", text,
               LOGICAL_ADDRESS_MIN, LOGICAL_ADDRESS_MAX);
  return -1;
}

int32_t checkLogicalAddress(int32_t logicalAddress) {
  if (logicalAddress >= LOGICAL_ADDRESS_MIN && logicalAddress <= LOGICAL_ADDRESS_MAX) return 0;
  std::fprintf(consoleErr, "Error: invalid logical address %d, must be %d thru %d\n",
               logicalAddress, LOGICAL_ADDRESS_MIN, LOGICAL_ADDRESS_MAX);
  return -1;
}

void printUsage(FILE* err, const char* programName) {
  std::fprintf(err, "usage: %s [-fLnqrRSuvV]\n", programName);
  std::fputs("    -f                   force update even if segment is not newer than that currently in rom\n", err);
  std::fprintf(err, "    -L logicalAddress    VXI logical address, default:  %d\n",
               DEFAULT_LOGICAL_ADDRESS);
  std::fputs("    -n                   non-interactive, no questions asked\n", err);
  std::fputs("    -q                   quiet, non-interactive, nothing printed to stdout\n", err);
  std::fputs("    -r                   revision info only, printed to stdout, overrides -q\n", err);
  std::fputs("    -R                   reboot q7340 module and exit\n", err);
  std::fputs("    -S segmentNumber     only specified rom segment is updated\n", err);
  std::fputs("         -1              all segments (used with -f)\n", err);
  std::fputs("         0               operating system\n", err);
  std::fputs("         1               FPGA1, vxiga\n", err);
  std::fputs("         2               FPGA2, bbbga\n", err);
  std::fputs("         3               FPGA3, fibga\n", err);
  std::fputs("         4               self test\n", err);
  std::fputs("         99              lanboot segment\n", err);
  std::fputs("    -u                   print usage and exit, overrides -q\n", err);
  std::fputs("    -v                   print version of this program, overrides -q\n", err);
  std::fprintf(err, "    -V vxiInterface      VXI interface default: %s\n", DEFAULT_VXI_INTERFACE);
  std::fputs("  Default: VXI0::128, interactive, update all newer segments 0-4\n", err);
}
