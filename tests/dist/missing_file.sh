#!/usr/bin/env bash
# A list naming files that are not there stops the release: it names each of them and leaves no zip.
# usage: missing_file.sh BUILD_DIR WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
printf 'Portico.exe build\nPorticoGone.exe build\ndocs/Gone.md docs/Gone.md\n' >"$work/files.txt"
if SOURCE_DATE_EPOCH=1700000000 python3 "$root/scripts/package-release.py" package "$build" "$work/out" \
  --files "$work/files.txt" 2>"$work/err"; then
  echo "FAIL: the release went on without its files" >&2
  exit 1
fi
cat "$work/err"
grep -q "PorticoGone.exe" "$work/err" && grep -q "docs/Gone.md" "$work/err" || { echo "FAIL: missing files not named" >&2; exit 1; }
if compgen -G "$work/out/*.zip" >/dev/null; then
  echo "FAIL: a zip was written" >&2
  exit 1
fi
