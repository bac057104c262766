#!/usr/bin/env bash
# The demo: a sample installation inside the demo's own Wine prefix, the launcher run in it, and
# a transcript of what happened.
# usage: demo.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

source "$here/wine-env.sh" "$build/demo-prefix"
if [ -z "${PORTICO_UNDER_XVFB:-}" ]; then
  "$here/wine-prefix" "$WINEPREFIX"
  # Windows and message boxes need a display; the demo gets a virtual one and one kept-alive
  # wineserver for all its steps.
  exec env PORTICO_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$build"
fi
wineserver -p
trap "wineserver -k >/dev/null 2>&1 || true" EXIT

install_unix="$WINEPREFIX/drive_c/Demo Client"
install_win='C:\Demo Client'
rm -rf "$install_unix"
mkdir -p "$install_unix/temp"
cp "$build/bin/Portico.exe" "$install_unix/"
cp "$root/scripts/demo/ProductConfig.xml" "$install_unix/"

echo "== Sample installation: $install_win"
(cd "$install_unix" && find . -type f | sort | sed 's/^\.\//   /')

run_launcher() {
  # Output goes to files: Wine's helper processes would keep a pipe open after the launcher ends.
  local out="$build/demo/launcher.out" err="$build/demo/launcher.err"
  mkdir -p "$build/demo"
  set +e
  wine "$install_win\\Portico.exe" "$@" >"$out" 2>"$err" </dev/null
  local rc=$?
  set -e
  echo "   exit code: $rc"
  if [ -s "$err" ]; then
    echo "   standard error:"
    sed 's/^/     /' "$err"
  fi
}

echo "== Starting the launcher as the desktop shortcut does"
run_launcher
echo "== Demo finished"
