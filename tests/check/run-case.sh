#!/usr/bin/env bash
# PorticoCheck over one case folder of tests/check/cases, its output compared with the folder's
# expected files.
# usage: run-case.sh CASE_DIR native CHECKER
#        run-case.sh CASE_DIR wine WINEPREFIX CHECKER.exe
# The checker runs in CASE_DIR/install when the case has one (a launcher folder below the file), else
# in CASE_DIR, with the words of CASE_DIR/args as its arguments. expected-text.txt holds its standard
# output, then "[stderr]" and standard error when there is any, then "[exit N]"; expected-json.txt the
# same with --json, whose output must also parse as JSON. PORTICO_CHECK_UPDATE=1 writes the expected
# files instead of comparing.
set -euo pipefail
case_dir=$(cd "$1" && pwd)
mode=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
if [ "$mode" = wine ]; then
  source "$root/scripts/wine-env.sh" "$(absolute "$1")"
  "$root/scripts/wine-prefix" "$WINEPREFIX"
  shift
  run() { wine "$@"; }
else
  run() { "$@"; }
fi
checker=$(absolute "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=()
if [ -f "$case_dir/args" ]; then read -r -a args <"$case_dir/args"; fi
if [ -d "$case_dir/install" ]; then cd "$case_dir/install"; else cd "$case_dir"; fi

failed=0
check() {
  local expected=$1
  shift
  local rc=0
  # Into files: Wine's helper processes could hold a pipe open after the checker ends.
  run "$checker" "$@" "${args[@]}" >"$work/out" 2>"$work/err" </dev/null || rc=$?
  {
    cat "$work/out"
    if [ -s "$work/err" ]; then echo "[stderr]" && cat "$work/err"; fi
    echo "[exit $rc]"
  } >"$work/actual"
  if [ "${1:-}" = --json ] && ! python3 -c 'import json, sys; json.load(open(sys.argv[1], encoding="utf-8"))' "$work/out" 2>/dev/null; then
    echo "$expected: the output is not JSON"
    failed=1
  fi
  if [ -n "${PORTICO_CHECK_UPDATE:-}" ]; then
    cp "$work/actual" "$expected"
  elif ! diff -u "$expected" "$work/actual"; then
    failed=1
  fi
}
check "$case_dir/expected-text.txt"
if [ -f "$case_dir/expected-json.txt" ]; then check "$case_dir/expected-json.txt" --json; fi
exit $failed
