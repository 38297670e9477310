#!/bin/sh
# Checks that the simulator's shared library exports the standard VISA
# functions with their C names. Exit 77 (skipped) where nm is missing.
library="$1"
command -v nm >/dev/null 2>&1 || exit 77
symbols=$(nm -D --defined-only "$library" | awk '{print $3}') || exit 1
status=0
for name in viOpenDefaultRM viOpen viClose viFindRsrc viFindNext viClear viStatusDesc \
    viGetAttribute viSetAttribute viMapAddress viUnmapAddress viPeek8 viPeek16 viPeek32 \
    viPoke16 viPoke32 viMoveIn16 viMoveIn32 viMoveOut16 viMoveOut32 viWrite viIn16 viOut16 \
    viVxiCommandQuery viInstallHandler viUninstallHandler viEnableEvent viDisableEvent \
    viLock viUnlock viParseRsrc viParseRsrcEx; do
  if ! printf '%s\n' "$symbols" | grep -qx "$name"; then
    echo "missing export: $name" >&2
    status=1
  fi
done
# Nothing but VISA's names: the simulator's C++ insides stay hidden.
others=$(printf '%s\n' "$symbols" | grep -v '^vi' || true)
if [ -n "$others" ]; then
  echo "unexpected exports:" >&2
  printf '%s\n' "$others" >&2
  status=1
fi
exit $status
