// The settings of one run: filled from the command line and the prompts,
// read by the update session and the reboot operations.
#pragma once

#include <cstdint>

// Longest text each field holds, not counting the terminating NUL.
constexpr int32_t VXI_INTERFACE_MAX = 47;
constexpr int32_t IP_ADDRESS_MAX = 255;

// The module answers at VXI logical addresses 0 to 255 only.
constexpr int32_t LOGICAL_ADDRESS_MIN = 0;
constexpr int32_t LOGICAL_ADDRESS_MAX = 255;

constexpr int32_t DEFAULT_LOGICAL_ADDRESS = 128;
constexpr const char* DEFAULT_VXI_INTERFACE = "VXI0";

struct UpdateOptions {
  char vxiInterface[VXI_INTERFACE_MAX + 1] = "VXI0";  // VISA interface name; "IP..." = LAN
  char ipAddress[IP_ADDRESS_MAX + 1] = "";            // address for an update over a LAN
  int32_t logicalAddress = DEFAULT_LOGICAL_ADDRESS;   // VXI logical address of the module
  int32_t segment = -1;        // -1 = every segment, 0 to 4 = that one only
  int32_t lanboot = 0;         // program the lanboot segment as well
  int32_t dumpSegment = -1;    // 0 to 4: copy that segment's image to standard output
  int32_t force = 0;           // select segments whether or not they are newer
  int32_t nonInteractive = 0;  // ask nothing, use the values in hand
  int32_t quiet = 0;           // no progress lines on standard output
  int32_t revisionOnly = 0;    // show the module's revisions and stop
  int32_t reboot = 0;          // reboot the module and stop
  int32_t showVersion = 0;     // print the version line and stop
  int32_t usageShown = 0;      // the usage text was printed; stop
  const char* programName = "q7340romupdate";  // argument 0 after its last "/"
};
