#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each in turn from the committed seed corpus.
# usage: fuzz/run.sh FUZZ_BUILD_DIR SECONDS_PER_TARGET [extra libFuzzer flags...]
# A target's new inputs are kept in FUZZ_BUILD_DIR/corpus/<target>; a crash leaves its input in
# FUZZ_BUILD_DIR/findings/<target> and makes the run fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
seconds=${2:-60}
shift 2 || true

cmake -S "$root/tests/native" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPORTICO_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" -- --no-print-directory >/dev/null

status=0
for source in "$root"/fuzz/*_fuzz.cpp; do
  target=$(basename "$source" _fuzz.cpp)
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  # Inputs that once found a fault are seeds too.
  regressions=""
  [ -d "$root/fuzz/regressions/$target" ] && regressions="$root/fuzz/regressions/$target"
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
      "$@" "$corpus" "$root/fuzz/corpus/$target" ${regressions:+"$regressions"} >"$build/$target.log" 2>&1; then
    echo "fuzz: $target FOUND A FAULT, see $build/$target.log and $findings/" >&2
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$target.log" | sed "s/^/  /" || true
done
exit $status
