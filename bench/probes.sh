#!/usr/bin/env bash
# probes.sh PROGRAM STEPS OUT: the addresses (relative to the image base) of the functions whose
# entry ends each step in STEPS, as "rva step" lines for BenchDriver's memory figure.
set -euo pipefail
program=$1; steps=$2; out=$3
base=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/^ImageBase/ { print $2 }')
symbols=$(x86_64-w64-mingw32-nm -C --defined-only "$program" | awk '$2 == "T" || $2 == "t"' | cut -d' ' -f1,3-)
: >"$out"
grep -v '^#' "$steps" | while read -r step pattern; do
  [ -n "$step" ] || continue
  address=$(awk -v pattern="$pattern" '{ name = $0; sub(/^[^ ]+ /, "", name) } name ~ pattern { print $1; exit }' \
    <<<"$symbols")
  [ -n "$address" ] || { echo "probes.sh: no function for $step ($pattern) in $program" >&2; exit 1; }
  printf '%x %s\n' $((0x$address - 0x$base)) "$step" >>"$out"
done
