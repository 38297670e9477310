// VISA libraries that lack functions, which the binding must survive without
// a null call. Built twice: with Q7_VISA_LEAN, a library with just the
// functions the program cannot do without (stubs that answer errors); without
// it, one with only viOpenDefaultRM, viOpen and viClose, which the binding
// must refuse as a whole.
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

#ifdef Q7_VISA_LEAN
EXPORT ViStatus viStatusDesc(ViObject, ViStatus, ViChar* description) {
  description[0] = '\0';
  return VI_SUCCESS;
}
EXPORT ViStatus viGetAttribute(ViObject, ViAttr, void*) { return VI_ERROR_NSUP_ATTR; }
EXPORT ViStatus viSetAttribute(ViObject, ViAttr, ViAttrState) { return VI_ERROR_NSUP_ATTR; }
EXPORT ViStatus viMapAddress(ViSession, ViUInt16, ViBusAddress, ViBusSize, ViBoolean, ViAddr,
                             ViAddr*) {
  return VI_ERROR_INV_SPACE;
}
EXPORT void viPeek16(ViSession, ViAddr, ViUInt16* value) { *value = 0x1234; }
EXPORT void viPeek32(ViSession, ViAddr, ViUInt32* value) { *value = 0x12345678; }
EXPORT void viPoke16(ViSession, ViAddr, ViUInt16) {}
EXPORT ViStatus viMoveIn16(ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt16*) {
  return VI_ERROR_BERR;
}
EXPORT ViStatus viMoveOut16(ViSession, ViUInt16, ViBusAddress, ViBusSize, ViUInt16*) {
  return VI_ERROR_BERR;
}
#endif
