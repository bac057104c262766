#!/usr/bin/env bash
# B8: portico-pack on B3's tree (200 MiB in 2000 files). Bytes a typical patch ships (one file of the
# 2000 changed) against the whole package, and the time of `portico-pack make` against `zip -r` of
# the same tree at the same level. Appends "B8 <variant> <round> <value>" lines to RESULTS.
# usage: pack-bench.sh BUILD_DIR ARCHIVE RESULTS ROUNDS   (ARCHIVE: B3's update.zip)
set -euo pipefail
build=$(cd "$1" && pwd)
archive=$2
results=$3
rounds=$4
root=$(cd "$(dirname "$0")/.." && pwd)
work="$build/bench-pack"

# The packer as a vendor's Linux build machine runs it.
cmake -S "$root/pack/native" -B "$build/pack-native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/pack-native" -j "$(nproc)" -- --no-print-directory >/dev/null
pack="$build/pack-native/bin/portico-pack"

rm -rf "$work" && mkdir -p "$work/old"
(cd "$work/old" && unzip -q "$archive")
cp -a "$work/old" "$work/new"
# One file of the 2000 changed, as a typical fix changes one program file.
changed=$(cd "$work/new" && find . -type f | sort | sed -n 1000p)
printf 'fixed\n' >>"$work/new/$changed"

"$pack" make "$work/new" --from "$work/old" -o "$work/patch.zip" >/dev/null
"$pack" make "$work/new" -o "$work/full.zip" >/dev/null
echo "B8 patch-bytes 0 $(stat -c %s "$work/patch.zip")" >>"$results"
echo "B8 full-bytes 0 $(stat -c %s "$work/full.zip")" >>"$results"

# Paired rounds after one warm-up round that is not kept, as the other figures are taken.
for round in $(seq -1 $((rounds - 1))); do
  rm -f "$work/full.zip" "$work/zip.zip"
  begin=$(date +%s%N)
  "$pack" make "$work/new" -o "$work/full.zip" >/dev/null
  pack_us=$((($(date +%s%N) - begin) / 1000))
  begin=$(date +%s%N)
  (cd "$work/new" && zip -q -r -6 "$work/zip.zip" .)
  zip_us=$((($(date +%s%N) - begin) / 1000))
  if [ "$round" -ge 0 ]; then
    echo "B8 pack $round $pack_us" >>"$results"
    echo "B8 zip $round $zip_us" >>"$results"
  fi
done
