#!/bin/sh
# Checks that the simulator's shared library exports the standard VISA
# functions with their C names. Exit 77 (skipped) where nm is missing.
library="$1"
command -v nm >/dev/null 2>&1 || exit 77
symbols=$(nm -D --defined-only "$library" | awk '{print $3}') || exit 1
status=0
# The register and memory family at every width, each also as its Ex form.
family=""
for bits in 8 16 32 64; do
  family="$family viPeek$bits viPoke$bits"
  for call in viIn viOut viMoveIn viMoveOut; do
    family="$family $call$bits ${call}${bits}Ex"
  done
done
for name in viOpenDefaultRM viGetDefaultRM viOpen viClose viFindRsrc viFindNext viClear \
    viStatusDesc viGetAttribute viSetAttribute viMapAddress viMapAddressEx viUnmapAddress \
    viMove viMoveEx $family viWrite viVxiCommandQuery viInstallHandler viUninstallHandler \
    viEnableEvent viDisableEvent viDiscardEvents viLock viUnlock viParseRsrc viParseRsrcEx; do
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
