// A VISA library that has only viOpenDefaultRM, viOpen and viClose: what the
// binding must survive without a null call.
#include "vxi/visa.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT ViStatus viOpenDefaultRM(ViSession* rm) {
  *rm = 1;
  return VI_SUCCESS;
}
EXPORT ViStatus viOpen(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession* vi) {
  *vi = 2;
  return VI_SUCCESS;
}
EXPORT ViStatus viClose(ViObject) { return VI_SUCCESS; }
