// Module reboot and wait: the read of the module's Status register, the reset
// through its Status/Control register that a module asks for at start-up, and
// the reboots through the command channel. The module counts as back when
// bit 0 of its Status register reads 1.
#pragma once

#include <cstdint>

#include "driver/options.h"
#include "lwf/lwf.h"
#include "vxi/vxi.h"

constexpr int32_t REBOOT_WAIT_SECONDS = 35;

constexpr int32_t STATUS_READY = 0x1;          // the module is up, its channel end ready
constexpr int32_t STATUS_RESET_REQUEST = 0x2;  // read at start-up: reset the module
constexpr int32_t STATUS_RESET_ACK = 0x4;      // set by the module during the reset handshake
constexpr int32_t STATUS_NO_DEVICE = 0xFFFF;   // the value read where no device answers
constexpr uint16_t CONTROL_RESET_START = 1;
constexpr uint16_t CONTROL_RESET_END = 8;

// Reads the module's Status register through the device's mapped A16 window
// and stores it, sign-extended, in *value: 0, or -1 (nothing read) when the
// register lies outside the window.
int32_t readModuleStatus(VxiDevice* device, int32_t logicalAddress, int32_t* value);

// The reset handshake: write 1, wait for bit 0 to clear, wait for bit 2 to
// set (3 s each), write 8. 0 when it ran to its end, -1 when a half ran out of
// time.
int32_t resetModule(VxiDevice* device, int32_t logicalAddress);

// Start-up check: when bit 1 asks for it, resets the module and waits up to
// 35 s for bit 0 (an empty address, reading all ones, asks for nothing). 0 when no reset was needed or it completed (then
// *resetDone is 1), -1 when the module did not come back. The last Status
// value read goes to *vxistatus.
int32_t startupReset(const UpdateOptions* options, VxiDevice* device, int32_t* vxistatus,
                     int32_t* resetDone);

// The reboot the operator asked for with -R: the result of q7340MsgReboot.
int32_t requestedReboot(const UpdateOptions* options, LwfChannel* channel);

// The reboot into a new operating system before the self test is programmed.
int32_t selftestReboot(const UpdateOptions* options, LwfChannel* channel);

// The reboot the operator confirmed at the end of an update.
int32_t confirmedReboot(const UpdateOptions* options, LwfChannel* channel);
