#!/usr/bin/env bash
# Runs each fuzz target for a bounded time from a fresh copy of its seed corpus.
# Usage: fuzz/run_fuzzers.sh <fuzz build dir> <total seconds> <target>...
# Exits non-zero when any target finds a crash, a failed check, a leak or a
# time-out; the reproducer is kept in <build>/fuzz/artifacts/<target>/.
set -uo pipefail
build=$1 total=$2
shift 2
source_dir="$(cd "$(dirname "$0")" && pwd)"
seconds=$(( total / $# ))
(( seconds < 1 )) && seconds=1

failed=()
for target in "$@"; do
  work="$build/fuzz/run/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$source_dir/corpus/$target/"* "$work/corpus/"
  echo "fuzz: $target for ${seconds}s"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/corpus" \
       >"$work/log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$work/log" | sed 's/^/  /'
  else
    echo "fuzz: $target FAILED; log $work/log, reproducer in $work/artifacts/" >&2
    grep -v -E '^#[0-9]|^INFO:' "$work/log" | head -40 >&2
    failed+=("$target")
  fi
done

if (( ${#failed[@]} )); then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: no findings"
