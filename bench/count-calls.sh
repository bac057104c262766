#!/usr/bin/env bash
# Counts the system calls each program makes per entry of a B6-shaped update (100 files of 1-8 KiB a
# folder, each replacing an installed one): every call into one of ntdll's Nt functions, as Wine's
# relay trace shows it (each is one system call). Each program applies an archive of one folder and one
# of three, each over an installation that already holds it; the difference, divided by the 200
# entries between them, leaves out what a run costs once (the process, the archive's directory).
# Appends "calls PROGRAM:FUNCTION 0 PER_ENTRY" lines to the results. Needs a running wineserver.
# usage: count-calls.sh BIN DATA WORK RESULTS
set -euo pipefail
bin=$1 data=$2 work=$3 results=$4
here=$(cd "$(dirname "$0")" && pwd)
win() { local path=$1; echo "Z:${path//\//\\}"; }

for folders in 1 3; do
  [ -f "$data/small-$folders.zip" ] && [ "$data/small-$folders.zip" -nt "$here/make-update.py" ] ||
    python3 "$here/make-update.py" --small "$folders" "$data/small-$folders.zip"
done

rm -rf "$work/calls"
mkdir -p "$work/calls"
apply() {  # program folders trace
  local into="$work/calls/$1-$2"
  mkdir -p "$into"
  if [ "$1" = portico ]; then
    cp "$data/small-$2.zip" "$into/update.zip"
    WINEDEBUG=$3 wine "$bin/BenchApplyUpdate.exe" "$(win "$into")"
  else
    WINEDEBUG=$3 wine "$bin/$1.exe" -x -o "$(win "$data/small-$2.zip")" -d "$(win "$into")"
  fi
}
for program in portico miniunz; do
  for folders in 1 3; do
    apply "$program" "$folders" -all >/dev/null 2>&1  # lays the installation out
    # Into a file: a service Wine starts on the way would hold a pipe open after the program ends.
    apply "$program" "$folders" +relay 2>"$work/calls/$program-$folders.relay" >/dev/null
    grep -o 'Call ntdll\.Nt[A-Za-z]*' "$work/calls/$program-$folders.relay" | sed 's/Call ntdll\.//' | sort | uniq -c \
      >"$work/calls/$program-$folders.counts"
  done
  # Per function: (calls with three folders - calls with one) / 200 entries.
  awk -v program="$program" '
    FNR == NR { once[$2] = $1; next }
    { per = ($1 - once[$2]) / 200; if (per >= 0.005) printf "calls %s:%s 0 %.2f\n", program, $2, per }
  ' "$work/calls/$program-1.counts" "$work/calls/$program-3.counts" >>"$results"
done
