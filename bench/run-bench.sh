#!/usr/bin/env bash
# Runs the benchmarks of a release build under Wine and Xvfb, with one wineserver kept alive, and
# writes docs/BENCHMARKS.md with its chart. Measures only: nothing here passes or fails on time.
# usage: run-bench.sh BUILD_DIR [ROUNDS]
set -euo pipefail
build=$(cd "${1:-build-bench}" && pwd)
rounds=${2:-${BENCH_ROUNDS:-15}}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bin="$build/bin"
work="$build/bench-run"
data="$build/bench-data"

source "$root/scripts/wine-env.sh" "$build/wineprefix"
"$root/scripts/wine-prefix" "$WINEPREFIX"

win() { local path=$1; echo "Z:${path//\//\\}"; }

# The archive is the same bytes every time; it is made once per build tree.
mkdir -p "$data"
if [ ! -f "$data/update.zip" ] || [ "$here/make-update.py" -nt "$data/update.zip" ]; then
  echo "bench: writing the 200 MiB update archive"
  python3 "$here/make-update.py" "$data/update.zip.part"
  mv "$data/update.zip.part" "$data/update.zip"
fi

rm -rf "$work"
mkdir -p "$work/start/temp" "$work/handoff/temp" "$work/trivial" "$work/memory/temp"
# An installation per road, each with a client of its own name, so no road meets another's copy.
lay_out() {  # folder client protocol pipe window
  cp "$bin/Portico.exe" "$1/Portico.exe"
  cp "$bin/SampleClient.exe" "$1/$2.exe"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<Product>\n  <ProgName>%s.exe</ProgName>\n  <Protocol>%s</Protocol>\n  <Pipe>%s</Pipe>\n</Product>\n' \
    "$2" "$3" "$4" >"$1/ProductConfig.xml"
  printf 'pipe=%s\nwindow=%s\n' "$4" "$5" >"$1/$2.settings.txt"
}
lay_out "$work/start" BenchStartClient benchstart BenchStartPipe none
lay_out "$work/memory" BenchMemoryClient benchmemory BenchMemoryPipe none
lay_out "$work/handoff" BenchLinkClient benchlink BenchLinkPipe normal
cp "$bin/BenchTrivial.exe" "$bin/BenchTrivialImports.exe" "$work/trivial/"
cp "$bin/BenchStartSteps.exe" "$bin/BenchTrivial.exe" "$work/start/"

results="$work/results.txt"
: >"$results"
log="$work/driver.log"
driver="$(win "$bin/BenchDriver.exe")"
trivial="$(win "$work/trivial/BenchTrivial.exe")"
trivial_imports="$(win "$work/trivial/BenchTrivialImports.exe")"

echo "bench: $rounds rounds of each figure (log: $log)"
export LOG="$log" DRIVER="$driver" RESULTS="$(win "$results")" ROUNDS="$rounds" TRIVIAL="$trivial" TRIVIAL_IMPORTS="$trivial_imports" \
  START="$(win "$work/start")" HANDOFF="$(win "$work/handoff")" MEMORY="$(win "$work/memory")" \
  APPLY="$(win "$bin/BenchApplyUpdate.exe")" MINIUNZ="$(win "$bin/miniunz.exe")" ARCHIVE="$(win "$data/update.zip")" \
  WORK="$(win "$work")"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  wineserver -p
  trap "wineserver -k >/dev/null 2>&1 || true" EXIT
  run() { echo "bench: $1"; shift; wine "$@" </dev/null >>"$LOG" 2>&1 || { cat "$LOG"; exit 1; }; }
  run "B1 start road" "$DRIVER" start "$RESULTS" "$ROUNDS" "$START\\Portico.exe" "$START\\BenchStartClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS" "$START\\BenchStartSteps.exe"
  run "B2 hand-off" "$DRIVER" handoff "$RESULTS" "$ROUNDS" "$HANDOFF\\Portico.exe" "$HANDOFF\\BenchLinkClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS" "benchlink://open?id=7"
  run "B5 memory" "$DRIVER" memory "$RESULTS" "$ROUNDS" "$MEMORY\\Portico.exe" "$MEMORY\\BenchMemoryClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS"
  run "B3 update apply" "$DRIVER" update "$RESULTS" "$ROUNDS" "$APPLY" "$MINIUNZ" "$ARCHIVE" "$WORK\\subject" "$WORK\\miniunz"
'

# B4: the size that ships (symbols stripped) and what the program needs from the system.
cp "$bin/Portico.exe" "$work/Portico.stripped.exe"
x86_64-w64-mingw32-strip "$work/Portico.stripped.exe"
size=$(stat -c %s "$work/Portico.stripped.exe")
imports=$(x86_64-w64-mingw32-objdump -p "$work/Portico.stripped.exe" | awk '/DLL Name:/ { print $3 }' | tr '\n' ' ')

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
machine="${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
wine_version=$(wine --version 2>/dev/null | head -n 1)
python3 "$here/report.py" "$results" "$size" "$imports" "$machine" "$wine_version" \
  "$root/docs/BENCHMARKS.md" "$root/docs/benchmarks.png" "$here/notes.md"
echo "bench: wrote docs/BENCHMARKS.md and docs/benchmarks.png"
