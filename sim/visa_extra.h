// VISA names the simulated mainframe answers beyond those the program uses
// (vxi/visa.h): the rest of the register and memory family, the "all events"
// values a closing VISA client sends, and the descriptive attributes lab tools
// read. Values as in the standard's visa.h.
#pragma once

#include "vxi/visa.h"

typedef ViUInt64 ViBusAddress64;
typedef ViUInt32 ViVersion;

constexpr ViStatus VI_SUCCESS_QUEUE_EMPTY = 0x3FFF0004;
constexpr ViStatus VI_ERROR_NSUP_VAR_WIDTH = visaError(0xBFFF0055);
constexpr ViStatus VI_ERROR_NSUP_WIDTH = visaError(0xBFFF0076);

constexpr ViEventType VI_ALL_ENABLED_EVENTS = 0x3FFF7FFF;
constexpr ViEventType VI_EVENT_TRIG = 0xBFFF200A;
constexpr ViUInt16 VI_SUSPEND_HNDLR = 4;
constexpr ViUInt16 VI_ALL_MECH = 0xFFFF;

constexpr ViUInt16 VI_INTF_VXI = 2;
constexpr ViUInt16 VI_WIDTH_8 = 1;
constexpr ViUInt16 VI_WIDTH_16 = 2;
constexpr ViUInt16 VI_WIDTH_32 = 4;
constexpr ViUInt16 VI_WIDTH_64 = 8;

constexpr ViAttr VI_ATTR_RSRC_CLASS = 0xBFFF0001;         // string
constexpr ViAttr VI_ATTR_RSRC_IMPL_VERSION = 0x3FFF0003;  // ViVersion
constexpr ViAttr VI_ATTR_RSRC_LOCK_STATE = 0x3FFF0004;    // ViAccessMode
constexpr ViAttr VI_ATTR_RSRC_SPEC_VERSION = 0x3FFF0170;  // ViVersion
constexpr ViAttr VI_ATTR_INTF_TYPE = 0x3FFF0171;          // ViUInt16
constexpr ViAttr VI_ATTR_RSRC_MANF_NAME = 0xBFFF0174;     // string
constexpr ViAttr VI_ATTR_INTF_NUM = 0x3FFF0176;           // ViUInt16
constexpr ViAttr VI_ATTR_MANF_NAME = 0xBFFF0072;          // string
constexpr ViAttr VI_ATTR_MODEL_NAME = 0xBFFF0077;         // string
