// Free functions with VISA's prototypes that forward to the current mainframe,
// gathered into a VisaFunctions table.
#include "sim/visa_table.h"

namespace sim {
namespace {

#define SIM_FORWARD(member, params, args)                        \
  ViStatus member params {                                       \
    Mainframe* mainframe = current();                            \
    return mainframe ? mainframe->member args : VI_ERROR_SYSTEM_ERROR; \
  }

SIM_FORWARD(viOpenDefaultRM, (ViSession* rm), (rm))
SIM_FORWARD(viOpen, (ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 ms, ViSession* vi),
            (rm, name, mode, ms, vi))
SIM_FORWARD(viClose, (ViObject object), (object))
SIM_FORWARD(viFindRsrc,
            (ViSession rm, ViConstString expr, ViFindList* list, ViUInt32* count, ViChar* desc),
            (rm, expr, list, count, desc))
SIM_FORWARD(viFindNext, (ViFindList list, ViChar* desc), (list, desc))
SIM_FORWARD(viClear, (ViSession vi), (vi))
SIM_FORWARD(viStatusDesc, (ViObject object, ViStatus status, ViChar* desc), (object, status, desc))
SIM_FORWARD(viGetAttribute, (ViObject object, ViAttr attribute, void* value),
            (object, attribute, value))
SIM_FORWARD(viSetAttribute, (ViObject object, ViAttr attribute, ViAttrState value),
            (object, attribute, value))
SIM_FORWARD(viMapAddress,
            (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize size, ViBoolean access,
             ViAddr suggested, ViAddr* address),
            (vi, space, offset, size, access, suggested, address))
SIM_FORWARD(viUnmapAddress, (ViSession vi), (vi))
SIM_FORWARD(viMoveIn16,
            (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt16* buf),
            (vi, space, offset, count, buf))
SIM_FORWARD(viMoveIn32,
            (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt32* buf),
            (vi, space, offset, count, buf))
SIM_FORWARD(viMoveOut16,
            (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt16* buf),
            (vi, space, offset, count, buf))
SIM_FORWARD(viMoveOut32,
            (ViSession vi, ViUInt16 space, ViBusAddress offset, ViBusSize count, ViUInt32* buf),
            (vi, space, offset, count, buf))
SIM_FORWARD(viWrite, (ViSession vi, ViConstBuf buf, ViUInt32 count, ViUInt32* written),
            (vi, buf, count, written))
SIM_FORWARD(viIn16, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16* value),
            (vi, space, offset, value))
SIM_FORWARD(viOut16, (ViSession vi, ViUInt16 space, ViBusAddress offset, ViUInt16 value),
            (vi, space, offset, value))
SIM_FORWARD(viVxiCommandQuery, (ViSession vi, ViUInt16 mode, ViUInt32 command, ViUInt32* response),
            (vi, mode, command, response))
SIM_FORWARD(viInstallHandler, (ViSession vi, ViEventType type, ViHndlr handler, ViAddr user),
            (vi, type, handler, user))
SIM_FORWARD(viUninstallHandler, (ViSession vi, ViEventType type, ViHndlr handler, ViAddr user),
            (vi, type, handler, user))
SIM_FORWARD(viEnableEvent, (ViSession vi, ViEventType type, ViUInt16 mechanism, ViEventFilter context),
            (vi, type, mechanism, context))
SIM_FORWARD(viDisableEvent, (ViSession vi, ViEventType type, ViUInt16 mechanism),
            (vi, type, mechanism))
SIM_FORWARD(viLock,
            (ViSession vi, ViAccessMode type, ViUInt32 ms, ViConstKeyId requested, ViChar* key),
            (vi, type, ms, requested, key))
SIM_FORWARD(viUnlock, (ViSession vi), (vi))
#undef SIM_FORWARD

template <typename Value>
void allOnes(Value* value) {
  if (value != nullptr) *value = static_cast<Value>(~Value{0});
}

void viPeek8(ViSession vi, ViAddr address, ViUInt8* value) {
  if (Mainframe* m = current()) m->viPeek8(vi, address, value); else allOnes(value);
}
void viPeek16(ViSession vi, ViAddr address, ViUInt16* value) {
  if (Mainframe* m = current()) m->viPeek16(vi, address, value); else allOnes(value);
}
void viPeek32(ViSession vi, ViAddr address, ViUInt32* value) {
  if (Mainframe* m = current()) m->viPeek32(vi, address, value); else allOnes(value);
}
void viPoke16(ViSession vi, ViAddr address, ViUInt16 value) {
  if (Mainframe* m = current()) m->viPoke16(vi, address, value);
}
void viPoke32(ViSession vi, ViAddr address, ViUInt32 value) {
  if (Mainframe* m = current()) m->viPoke32(vi, address, value);
}

const VisaFunctions table = {
    viOpenDefaultRM,  viOpen,         viClose,        viFindRsrc,         viFindNext,
    viClear,          viStatusDesc,   viGetAttribute, viSetAttribute,     viMapAddress,
    viUnmapAddress,   viPeek8,        viPeek16,       viPeek32,           viPoke16,
    viPoke32,         viMoveIn16,     viMoveIn32,     viMoveOut16,        viMoveOut32,
    viWrite,          viIn16,         viOut16,        viVxiCommandQuery,  viInstallHandler,
    viUninstallHandler, viEnableEvent, viDisableEvent, viLock,            viUnlock,
};

}  // namespace

const VisaFunctions& visaTable() { return table; }

}  // namespace sim
