#!/usr/bin/env bash
# Runs the benchmarks of a release build under Wine and Xvfb, with one wineserver kept alive, and
# writes docs/BENCHMARKS.md with its chart. Measures only: nothing here passes or fails on time.
# usage: run-bench.sh BUILD_DIR [ROUNDS]
#        run-bench.sh --start BUILD_DIR [ROUNDS]   B1, B2 and B5 alone (6 rounds), beside the last full run
# B6 (20 000 files, each flushed) takes minutes a round on a disk: BENCH_B6_ROUNDS rounds of it (2).
# Either way the figures are printed beside those of bench/last-run.json, the last full run's,
# flagging each that moved beyond its spread; only a full run writes the page and that file.
set -euo pipefail
only_start=""
if [ "${1:-}" = --start ]; then
  only_start=1
  shift
fi
build=$(cd "${1:-build-bench}" && pwd)
rounds=${2:-${BENCH_ROUNDS:-${only_start:+6}}}
rounds=${rounds:-15}
small_rounds=${BENCH_B6_ROUNDS:-2}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bin="$build/bin"
work="$build/bench-run"
data="$build/bench-data"

# The chart is drawn with matplotlib, which only the benchmarks need: installed here, not by the setup
# that `make test` shares. Debian's package serves Debian's Python, which need not be the first
# python3 on the PATH.
py=/usr/bin/python3
if [ -z "$only_start" ] && ! "$py" -c "import matplotlib" 2>/dev/null; then
  echo "bench: installing python3-matplotlib"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends python3-matplotlib >/dev/null
fi

source "$here/bench-data.sh"

disk=$(df --output=fstype "$build" | tail -n 1)
ram=""
public_key=""
# The start figures need none of the archives.
if [ -z "$only_start" ]; then
  make_update_archive
  # B7: the same archive signed, with the build tree's own key pair (minisign's default form, a
  # BLAKE2b-512 of the file, with a timestamp in its trusted comment).
  if [ ! -f "$data/update.zip.minisig" ] || [ "$data/update.zip" -nt "$data/update.zip.minisig" ] ||
    [ "$data/bench.key" -nt "$data/update.zip.minisig" ]; then
    minisign -S -s "$data/bench.key" -m "$data/update.zip" >/dev/null
  fi
  public_key=$(sed -n 2p "$data/bench.pub")
  if [ ! -f "$data/small.zip" ] || [ "$here/make-update.py" -nt "$data/small.zip" ]; then
    echo "bench: writing the update archive of 20 000 small files"
    python3 "$here/make-update.py" --small 200 "$data/small.zip.part"
    mv "$data/small.zip.part" "$data/small.zip"
  fi

  # The flush before each rename costs what the disk makes a flush cost: the update figures are taken
  # on the build tree's disk and again on a tmpfs (where a flush writes nothing), when there is one.
  if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
    ram=/dev/shm/portico-bench.$$
    mkdir -p "$ram"
    trap 'rm -rf "$ram"' EXIT
    cp "$data/update.zip" "$data/update.zip.minisig" "$data/small.zip" "$ram/"
  fi
fi

rm -rf "$work"
mkdir -p "$work/start/temp" "$work/handoff/temp" "$work/trivial" "$work/memory/temp"
# An installation per road, each with a client of its own name, so no road meets another's copy.
# The launcher and the floor run stripped, as they ship; the probes' addresses come from the
# unstripped files, which strip leaves in place.
lay_out() {  # folder client protocol pipe window
  x86_64-w64-mingw32-strip -o "$1/Portico.exe" "$bin/Portico.exe"
  cp "$bin/SampleClient.exe" "$1/$2.exe"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<Product>\n  <ProgName>%s.exe</ProgName>\n  <Protocol>%s</Protocol>\n  <Pipe>%s</Pipe>\n</Product>\n' \
    "$2" "$3" "$4" >"$1/ProductConfig.xml"
  printf 'pipe=%s\nwindow=%s\n' "$4" "$5" >"$1/$2.settings.txt"
}
lay_out "$work/start" BenchStartClient benchstart BenchStartPipe none
lay_out "$work/memory" BenchMemoryClient benchmemory BenchMemoryPipe none
lay_out "$work/handoff" BenchLinkClient benchlink BenchLinkPipe normal
for trivial in BenchTrivial BenchTrivialImports; do
  x86_64-w64-mingw32-strip -o "$work/trivial/$trivial.exe" "$bin/$trivial.exe"
done
cp "$bin/BenchStartSteps.exe" "$bin/BenchTrivial.exe" "$work/start/"
# B5 by step: where each step of the launcher's road ends, and the floor's, in the programs' images.
bash "$here/probes.sh" "$bin/Portico.exe" "$here/memory-steps.txt" "$work/memory/probes.txt"
bash "$here/probes.sh" "$bin/BenchTrivialImports.exe" "$here/floor-steps.txt" "$work/trivial/probes.txt"

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
  WORK="$(win "$work")" MINIUNZ_FLUSH="$(win "$bin/miniunz-flush.exe")" SMALL="$(win "$data/small.zip")" \
  SMALL_ROUNDS="$small_rounds" RAM="${ram:+$(win "$ram")}" COUNT_CALLS="$here/count-calls.sh" BIN="$bin" DATA="$data" \
  WORK_HOST="$work" RESULTS_HOST="$results" SIGNATURE="$(win "$data/update.zip.minisig")" PUBLIC_KEY="$public_key" \
  HASH_SPEED="$(win "$bin/BenchHashSpeed.exe")" ONLY_START="$only_start"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  wineserver -p
  trap "wineserver -k >/dev/null 2>&1 || true" EXIT
  run() { echo "bench: $1"; shift; wine "$@" </dev/null >>"$LOG" 2>&1 || { cat "$LOG"; exit 1; }; }
  run "B1 start road" "$DRIVER" start "$RESULTS" "$ROUNDS" "$START\\Portico.exe" "$START\\BenchStartClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS" "$START\\BenchStartSteps.exe"
  run "B2 hand-off" "$DRIVER" handoff "$RESULTS" "$ROUNDS" "$HANDOFF\\Portico.exe" "$HANDOFF\\BenchLinkClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS" "benchlink://open?id=7"
  run "B5 memory" "$DRIVER" memory "$RESULTS" "$ROUNDS" "$MEMORY\\Portico.exe" "$MEMORY\\BenchMemoryClient.exe" "$TRIVIAL" "$TRIVIAL_IMPORTS" "$MEMORY\\probes.txt" "$WORK\\trivial\\probes.txt"
  [ -z "$ONLY_START" ] || exit 0
  run "B3 update apply, and B7 signed" "$DRIVER" update "$RESULTS" "$ROUNDS" B3 "$APPLY" "$MINIUNZ" "$MINIUNZ_FLUSH" "$ARCHIVE" "$WORK\\b3" "$SIGNATURE" "$PUBLIC_KEY"
  run "B6 many small files ($SMALL_ROUNDS rounds)" "$DRIVER" update "$RESULTS" "$SMALL_ROUNDS" B6 "$APPLY" "$MINIUNZ" "$MINIUNZ_FLUSH" "$SMALL" "$WORK\\b6"
  if [ -n "$RAM" ]; then
    run "B3 and B7 on tmpfs" "$DRIVER" update "$RESULTS" "$ROUNDS" B3-tmpfs "$APPLY" "$MINIUNZ" "$MINIUNZ_FLUSH" "$RAM\\update.zip" "$RAM\\b3" "$RAM\\update.zip.minisig" "$PUBLIC_KEY"
    run "B6 on tmpfs" "$DRIVER" update "$RESULTS" "$SMALL_ROUNDS" B6-tmpfs "$APPLY" "$MINIUNZ" "$MINIUNZ_FLUSH" "$RAM\\small.zip" "$RAM\\b6"
  fi
  echo "bench: the hash of B7 alone"
  for round in 0 1 2 3 4; do
    echo "hash wine-libsodium $round $(wine "$HASH_SPEED" "$ARCHIVE" </dev/null 2>>"$LOG" | tr -d "\r")" >>"$RESULTS_HOST"
  done
  echo "bench: system calls per entry"
  bash "$COUNT_CALLS" "$BIN" "$DATA" "$WORK_HOST" "$RESULTS_HOST" >>"$LOG" 2>&1 || { cat "$LOG"; exit 1; }
'

if [ -z "$only_start" ]; then
  # B7's hash natively, with Debian's libsodium and with coreutils' b2sum (the same BLAKE2b-512), for
  # reference.
  cc -O2 "$here/HashSpeed.c" -o "$work/hash-speed" -lsodium
  for round in 0 1 2 3 4; do
    echo "hash native-libsodium $round $("$work/hash-speed" "$data/update.zip")" >>"$results"
    begin=$(date +%s%N)
    b2sum "$data/update.zip" >/dev/null
    echo "hash b2sum $round $((($(date +%s%N) - begin) / 1000))" >>"$results"
  done
fi

# B8: the packer on B3's tree, natively, as a vendor's build runs it.
if [ -z "$only_start" ]; then
  echo "bench: B8 portico-pack"
  bash "$here/pack-bench.sh" "$build" "$data/update.zip" "$results" "$small_rounds"
fi

# B4: the size that ships (symbols stripped) and what the program needs from the system.
cp "$bin/Portico.exe" "$work/Portico.stripped.exe"
x86_64-w64-mingw32-strip "$work/Portico.stripped.exe"
size=$(stat -c %s "$work/Portico.stripped.exe")
imports=$(x86_64-w64-mingw32-objdump -p "$work/Portico.stripped.exe" | awk '/DLL Name:/ { print $3 }' | tr '\n' ' ')

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
machine="${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
wine_version=$(wine --version 2>/dev/null | head -n 1)
last="$here/last-run.json"
if [ -n "$only_start" ]; then
  "$py" "$here/report.py" --compare "$results" "$size" "$last"
  exit 0
fi
"$py" "$here/report.py" --compare "$results" "$size" "$last" || true
"$py" "$here/report.py" "$results" "$size" "$imports" "$machine" "$wine_version" "$disk" \
  "$root/docs/BENCHMARKS.md" "$root/docs/benchmarks.png" "$here/notes.md" "$last"
echo "bench: wrote docs/BENCHMARKS.md and docs/benchmarks.png"
# B9 writes its own section into the page just written.
bash "$here/run-b9.sh" "$build"
