// Interface, IP address and device address prompts.
#include "driver/prompts.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "driver/command_line.h"
#include "driver/dialogue.h"

namespace {

// The device address is read as far as an IP address.
constexpr int32_t DEVICE_ADDRESS_READ_MAX = 255;

// A reply of more than one character replaces the value; its last character
// (the line end) is dropped.
int32_t replyTaken(int32_t length) { return length > 1 ? 1 : 0; }

void takeReplyText(char* field, int32_t length) {
  std::memcpy(field, reply, static_cast<size_t>(length - 1));
  field[length - 1] = '\0';
}

}  // namespace

int32_t askConnectionSettings(UpdateOptions* options) {
  std::fprintf(consoleOut, "Enter interface [%s]: ", options->vxiInterface);
  int32_t length = readReply(VXI_INTERFACE_MAX);
  if (replyTaken(length)) takeReplyText(options->vxiInterface, length);
  std::fprintf(consoleOut, "%s\n", options->vxiInterface);

  if (std::strncmp(options->vxiInterface, "IP", 2) == 0) {
    std::fputs("Enter IP address (ddd.ddd.ddd.ddd): ", consoleOut);
    length = readReply(IP_ADDRESS_MAX);
    if (replyTaken(length)) takeReplyText(options->ipAddress, length);
    std::fprintf(consoleOut, "%s\n", options->ipAddress);
  } else {
    std::fprintf(consoleOut, "Enter device address [%d]: ", options->logicalAddress);
    length = readReply(DEVICE_ADDRESS_READ_MAX);
    if (replyTaken(length)) {
      char typed[DEVICE_ADDRESS_READ_MAX + 1];
      takeReplyText(typed, length);
      if (!parseLogicalAddress(typed, &options->logicalAddress)) {
        std::fprintf(consoleOut, "%s\n", typed);
        return refuseLogicalAddress(typed);
      }
    }
    std::fprintf(consoleOut, "%d\n", options->logicalAddress);
    if (checkLogicalAddress(options->logicalAddress) != 0) return -1;
  }
  std::fputs("\n", consoleOut);
  return 0;
}
