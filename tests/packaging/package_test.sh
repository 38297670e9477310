#!/bin/sh
# package_test.sh <CPackConfig.cmake> <cpack>
# Builds the Debian package, unpacks it into a temporary root with dpkg-deb
# and checks what a user of the package gets: the layout, the declared
# dependencies, the installed program's --version against the package's
# version, the manual page rendered without warnings, and the simulator
# wrapper running an update over its own library with its state kept per user.
set -u
config=$1
cpack=$2

for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev groff:groff-base; do
  if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
    echo "skipped: ${tool%%:*} is missing (Debian package ${tool#*:})"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/q7340-package-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$config" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
set -- "$work"/out/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "FAIL: expected one package in $work/out, found: $*"
  exit 1
fi
deb=$1
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)

# Layout: the program on the path, the simulator only in its private directory.
for file in usr/bin/q7340romupdate usr/lib/q7340romupdate/q7340romupdate-sim; do
  [ -x "$root/$file" ] || fail "$file is missing or not executable"
done
for file in usr/lib/q7340romupdate/simvisa/libvisa.so usr/share/man/man1/q7340romupdate.1.gz \
            usr/share/doc/q7340romupdate/README.md usr/share/doc/q7340romupdate/copyright \
            usr/share/doc/q7340romupdate/changelog.gz; do
  [ -f "$root/$file" ] || fail "$file is missing"
done
visa_libraries=$(cd "$root" && find . -name 'libvisa*')
[ "$visa_libraries" = ./usr/lib/q7340romupdate/simvisa/libvisa.so ] ||
  fail "libvisa outside its private directory: $visa_libraries"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6; do
  case ", $depends" in
    *", $library "*) ;;
    *) fail "Depends lacks $library: $depends" ;;
  esac
done

# --version answers at once, without VISA and without the closing prompt.
program_output=$(timeout 10 "$root/usr/bin/q7340romupdate" --version </dev/null 2>"$work/err")
status=$?
[ "$status" -eq 0 ] || fail "q7340romupdate --version: exit status $status"
[ "$program_output" = "q7340romupdate: version $version" ] ||
  fail "q7340romupdate --version printed [$program_output], package version $version"
[ ! -s "$work/err" ] || fail "q7340romupdate --version wrote to standard error: $(cat "$work/err")"

# The manual page renders without a warning and documents the long options.
gzip -dc "$root/usr/share/man/man1/q7340romupdate.1.gz" >"$work/page.1"
groff -man -Tascii -P-cbou -ww "$work/page.1" >"$work/page.txt" 2>"$work/groff.err" ||
  fail "groff could not render the manual page"
[ ! -s "$work/groff.err" ] || fail "groff warnings: $(cat "$work/groff.err")"
for text in "q7340romupdate - update the flash ROM" "--visa-library=PATH" "--version" \
            "--help" "EXIT STATUS" "q7340romupdate-sim -R"; do
  grep -q -F -e "$text" "$work/page.txt" || fail "the rendered manual page lacks \"$text\""
done

# The installed wrapper runs the installed program over the installed library
# (no other VISA is on the path) and keeps the module's flash under
# XDG_STATE_HOME: an update, then a second run that finds it up to date.
simulate() {
  env -u Q7SIM_STATE_FILE -u LD_LIBRARY_PATH XDG_STATE_HOME="$work/state" Q7SIM_MODULE=older \
    Q7SIM_PROGRAM_SECONDS=0.05 Q7SIM_BOOT_SECONDS=0.2 Q7SIM_DRAIN_BYTES_PER_SECOND=50000000 \
    timeout 120 "$root/usr/lib/q7340romupdate/q7340romupdate-sim" "$@" </dev/null
}
simulate -n >"$work/update.out" 2>&1 || fail "update through the wrapper: exit status $? $(cat "$work/update.out")"
grep -q -F "Programing ROM segment 0" "$work/update.out" ||
  fail "update through the wrapper programmed nothing: $(cat "$work/update.out")"
[ -f "$work/state/q7340romupdate/module-state" ] ||
  fail "the wrapper kept no state under XDG_STATE_HOME"
simulate -n >"$work/again.out" 2>&1 || fail "second run through the wrapper: exit status $?"
grep -q -F "All ROM segments are up to date" "$work/again.out" ||
  fail "second run through the wrapper did not find the module up to date: $(cat "$work/again.out")"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): layout, dependencies, --version, manual page and wrapper checked"
