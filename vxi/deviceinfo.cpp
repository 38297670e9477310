// What the library reports of one device: its identity attributes, the
// servant area of a commander and its A24/A32 memory.
#include <cstdio>
#include <cstring>

#include "vxi/session_state.h"
#include "vxi/vxi.h"

namespace {

constexpr ViBusAddress protocolRegister = 0x08;
constexpr ViUInt16 servantOnlyBit = 0x8000;  // 0: the device is a commander
constexpr uint32_t readServantArea = 0xCEFF;

uint16_t servantAreaOf(ViSession session) {
  ViUInt16 protocol = 0;
  if (visa().viIn16(session, VI_A16_SPACE, protocolRegister, &protocol) != VI_SUCCESS) return 0;
  if (protocol & servantOnlyBit) return 0;
  uint32_t response = 0;
  if (vxiCommandQuery(session, VI_VXI_CMD16_RESP16, readServantArea, &response) != 0) return 0;
  return static_cast<uint16_t>(response & 0xFF);
}

void fillMemory(ViSession session, VxiDeviceInfo* info) {
  info->memBits = 0;
  info->memSize = 0;
  info->memBase = 0;
  ViUInt16 space = 0;
  if (visa().viGetAttribute(session, VI_ATTR_MEM_SPACE, &space) != VI_SUCCESS) return;
  ViBusSize size = 0;
  ViBusAddress base = 0;
  visa().viGetAttribute(session, VI_ATTR_MEM_SIZE, &size);
  visa().viGetAttribute(session, VI_ATTR_MEM_BASE, &base);
  if (space == VI_A24_SPACE) {
    info->memBits = 24;
    info->memSize = static_cast<uint16_t>(size >> 16);
    info->memBase = static_cast<uint16_t>(base >> 16);
  } else if (space == VI_A32_SPACE) {
    info->memBits = 32;
    info->memSize = static_cast<uint16_t>(size >> 8);
    info->memBase = static_cast<uint16_t>(base >> 8);
  }
}

}  // namespace

int32_t vxiDeviceInfo(VxiDevice* device, int32_t la, VxiDeviceInfo* info) {
  if (device == nullptr || info == nullptr) return VXI_ERROR_ARGUMENT;
  ViSession session = device->sess;
  ViSession opened = 0;
  if (la != device->la) {
    const char* interfaceName = vxiInterfaceName(device);
    if (interfaceName == nullptr) return VXI_ERROR_ARGUMENT;
    char name[sizeof(VxiDevice::rsrcName)];
    int length = snprintf(name, sizeof name, "%s::%d", interfaceName, la);
    if (length < 0 || static_cast<size_t>(length) >= sizeof name) return VXI_ERROR_ARGUMENT;
    ViStatus status = visa().viOpen(defaultRM, name, VI_NULL, 0, &opened);
    if (status != VI_SUCCESS) return status;
    session = opened;
  }

  info->la = static_cast<uint16_t>(la);
  for (auto& name : info->names) snprintf(name, sizeof name, "FIXME");
  ViUInt16 manfId = 0;
  ViUInt16 modelCode = 0;
  ViInt16 slot = 0;
  if (visa().viGetAttribute(session, VI_ATTR_MANF_ID, &manfId) == VI_SUCCESS)
    info->manfId = manfId;
  if (visa().viGetAttribute(session, VI_ATTR_MODEL_CODE, &modelCode) == VI_SUCCESS)
    info->modelCode = modelCode;
  if (visa().viGetAttribute(session, VI_ATTR_SLOT, &slot) == VI_SUCCESS) info->slot = slot;
  info->servantArea = servantAreaOf(session);
  fillMemory(session, info);
  memset(info->reservedA, 0xFF, sizeof info->reservedA);
  memset(info->reservedB, 0xFF, sizeof info->reservedB);

  if (opened != 0) visa().viClose(opened);
  return 0;
}
