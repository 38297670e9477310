// Opening and closing devices, the resource names the library forms, the
// time-out attribute, the interface name and the texts of statuses.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vxi/session_state.h"
#include "vxi/vxi.h"

ViSession defaultRM = 0;

namespace {
char statusText[256];    // returned by vxiStatusText, overwritten by its next call
char resourceName[256];  // filled by vxiInterfaceName, overwritten by its next call
}  // namespace

int32_t vxiOpen(const char* interfaceName, int32_t la, VxiDevice** device) {
  if (device == nullptr) return VXI_ERROR_ARGUMENT;
  *device = nullptr;
  if (interfaceName == nullptr) return VXI_ERROR_ARGUMENT;
  // The name is formed first, so that one too long for rsrcName opens nothing.
  char name[sizeof(VxiDevice::rsrcName)];
  int length = la < 0 ? snprintf(name, sizeof name, "%s::MEMACC", interfaceName)
                      : snprintf(name, sizeof name, "%s::%d", interfaceName, la);
  if (length < 0 || static_cast<size_t>(length) >= sizeof name) return VXI_ERROR_ARGUMENT;

  VxiDevice* record = static_cast<VxiDevice*>(calloc(1, sizeof(VxiDevice)));
  if (record == nullptr) return VXI_ERROR_ALLOC;
  record->la = la;
  record->swapWords = 1;
  if (defaultRM == 0) {
    ViStatus status = visa().viOpenDefaultRM(&defaultRM);
    if (status != VI_SUCCESS) {
      defaultRM = 0;
      free(record);
      return status;
    }
  }
  memcpy(record->rsrcName, name, static_cast<size_t>(length) + 1);
  ViStatus status = visa().viOpen(defaultRM, record->rsrcName, VI_NULL, 0, &record->sess);
  if (status != VI_SUCCESS) {
    free(record);
    return status;
  }
  *device = record;
  return 0;
}

int32_t vxiClose(VxiDevice* device) {
  if (device == nullptr) return VXI_ERROR_ARGUMENT;
  ViStatus status = visa().viClose(device->sess);
  free(device);
  return status;
}

const char* vxiStatusText(int32_t status) {
  if (status == VXI_ERROR_ARGUMENT) return "invalid argument passed to vxi library function";
  if (status == VXI_ERROR_ALLOC) return "memory allocation (malloc) failed";
  // The binding's own reason can be longer than a VISA status text.
  if (status == VI_ERROR_LIBRARY_NFOUND && visaBindingProblem() != nullptr)
    return visaBindingProblem();
  statusText[0] = '\0';
  visa().viStatusDesc(defaultRM, status, statusText);
  statusText[sizeof statusText - 1] = '\0';
  return statusText;
}

int32_t vxiSetTimeout(VxiDevice* device, uint32_t milliseconds) {
  return visa().viSetAttribute(device->sess, VI_ATTR_TMO_VALUE, milliseconds);
}

int32_t vxiGetTimeout(VxiDevice* device, uint32_t* milliseconds) {
  ViUInt32 value = 0;
  ViStatus status = visa().viGetAttribute(device->sess, VI_ATTR_TMO_VALUE, &value);
  if (status == VI_SUCCESS && milliseconds != nullptr) *milliseconds = value;
  return status;
}

int32_t vxiSetAccess32(VxiDevice* device, int32_t flag) {
  device->access32 = flag;
  return 0;
}

const char* vxiInterfaceName(VxiDevice* device) {
  memset(resourceName, 0, sizeof resourceName);
  if (visa().viGetAttribute(device->sess, VI_ATTR_RSRC_NAME, resourceName) != VI_SUCCESS)
    return nullptr;
  resourceName[sizeof resourceName - 1] = '\0';
  char* rest = nullptr;
  return strtok_r(resourceName, ": ", &rest);
}

int32_t vxiInit() { return 0; }

int32_t vxiGetVersion(void* /*ignored*/, int32_t* major, int32_t* minor) {
  *major = 1;
  *minor = 0;
  return 0;
}
