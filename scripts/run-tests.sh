#!/usr/bin/env bash
# Runs every test of a build tree under Wine and Xvfb, with one wineserver kept alive for the run.
# usage: run-tests.sh BUILD_DIR [ctest arguments...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
here=$(cd "$(dirname "$0")" && pwd)

source "$here/wine-env.sh" "$build/wineprefix"
"$here/wine-prefix" "$WINEPREFIX"

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  # A persistent server cuts the start of each Windows process from seconds to a fraction of one.
  wineserver -p
  trap "wineserver -k >/dev/null 2>&1 || true" EXIT
  ctest --test-dir "$0" --output-on-failure --no-tests=error "${@}"
' "$build" "$@"
