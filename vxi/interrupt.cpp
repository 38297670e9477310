// The SIGP interrupt callback of a device: the library installs its own VISA
// event handler, which calls the record's callback at each event.
#include "vxi/vxi.h"

namespace {

ViStatus sigpHandler(ViSession session, ViEventType /*type*/, ViEvent /*context*/,
                     ViAddr userHandle) {
  if (userHandle == nullptr) return VI_SUCCESS;
  VxiDevice* device = static_cast<VxiDevice*>(userHandle);
  // Read at every event: the callback may be replaced between events.
  VxiCallback callback = device->callback;
  if (callback != nullptr) callback(session);
  return VI_SUCCESS;
}

// Disables the event and uninstalls the handler; the callback becomes null on success.
int32_t removeHandler(VxiDevice* device) {
  ViStatus status = visa().viDisableEvent(device->sess, VI_EVENT_VXI_SIGP, VI_HNDLR);
  if (status != VI_SUCCESS) return status;
  status = visa().viUninstallHandler(device->sess, VI_EVENT_VXI_SIGP, sigpHandler, device);
  if (status != VI_SUCCESS) return status;
  device->callback = nullptr;
  return 0;
}

}  // namespace

int32_t vxiSetInterruptCallback(VxiDevice* device, VxiCallback callback) {
  if (callback == device->callback) return 0;
  if (callback == nullptr) return removeHandler(device);
  if (device->callback != nullptr) removeHandler(device);  // its outcome does not matter
  ViStatus status = visa().viInstallHandler(device->sess, VI_EVENT_VXI_SIGP, sigpHandler, device);
  if (status != VI_SUCCESS) return status;
  status = visa().viEnableEvent(device->sess, VI_EVENT_VXI_SIGP, VI_HNDLR, VI_NULL);
  if (status != VI_SUCCESS) return status;
  device->callback = callback;
  return 0;
}
