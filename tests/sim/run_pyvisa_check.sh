#!/bin/sh
# Runs the pyvisa lab check over the simulator's libvisa.so. It fails when the
# check fails or when anything reaches standard error (a traceback or a
# warning, at exit too). Exit 77 (skipped) with the reason where it cannot run.
# usage: run_pyvisa_check.sh <libvisa.so> <ASan runtime to preload | none | missing>
library="$1"
asan_runtime="$2"
here=$(dirname "$0")
python=/usr/bin/python3  # Debian's, which sees python3-pyvisa; one earlier on PATH may not

case "$asan_runtime" in
  none) ;;
  missing)
    echo "skipped: the sanitizer build's libvisa.so needs the ASan runtime preloaded into" \
         "python, and the compiler names no shared one"
    exit 77 ;;
  *)
    # Leaks of python itself at exit are not the library's.
    LD_PRELOAD="$asan_runtime" ASAN_OPTIONS=detect_leaks=0
    export LD_PRELOAD ASAN_OPTIONS ;;
esac
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
