#!/bin/sh
# Runs the pyvisa lab check over the simulator's libvisa.so. It fails when the
# check fails or when anything reaches standard error (a traceback or a
# warning, at exit too). Exit 77 (skipped) with the reason where it cannot run.
# usage: run_pyvisa_check.sh <libvisa.so> <sanitizer build: ON or OFF>
library="$1"
sanitized="$2"
here=$(dirname "$0")
python=/usr/bin/python3  # Debian's, which sees python3-pyvisa; one earlier on PATH may not

if [ "$sanitized" = ON ]; then
  echo "skipped: the sanitizer build's libvisa.so needs the ASan runtime preloaded into python"
  exit 77
fi
if ! "$python" -c "import pyvisa" 2>/dev/null; then
  echo "skipped: $python cannot import pyvisa (Debian package python3-pyvisa)"
  exit 77
fi

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
"$python" "$here/pyvisa_lab_check.py" "$library" 2>"$errors"
status=$?
if [ -s "$errors" ]; then
  echo "standard error was not empty:"
  cat "$errors"
  [ $status -eq 0 ] && status=1
fi
exit $status
