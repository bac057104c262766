#!/usr/bin/env bash
# Runs every test of a build tree under Wine and Xvfb, with one wineserver kept alive for the run.
# usage: run-tests.sh BUILD_DIR [ctest arguments...]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
here=$(cd "$(dirname "$0")" && pwd)

# Runs on one build tree share its prefix and wineserver, and each run ends that server: a second
# run waits for the first rather than kill the Windows processes of its tests. Only this shell holds
# the lock (fd 9 is closed for what it starts, so a lingering Wine process cannot keep it).
exec 9>"$build/.run-tests.lock"
flock 9

source "$here/wine-env.sh" "$build/wineprefix"
"$here/wine-prefix" "$WINEPREFIX" 9>&-

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  # A persistent server cuts the start of each Windows process from seconds to a fraction of one.
  wineserver -p
  trap "wineserver -k >/dev/null 2>&1 || true" EXIT
  ctest --test-dir "$0" --output-on-failure --no-tests=error "${@}" && exit 0
  status=$?
  # The log of a long run is read from its end: the failed tests run once more, their output last.
  # The run fails all the same, whatever the second run says.
  echo "=== the failed tests once more, for their output at the end of the log ==="
  ctest --test-dir "$0" --rerun-failed --output-on-failure 2>&1 | tail -n 200
  exit $status
' "$build" "$@" 9>&-
