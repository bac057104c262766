#!/usr/bin/env bash
# Builds the release twice, from two copies of the source tree at paths of different lengths, and
# demands byte-identical programs and zips with no path of the build machine in the programs.
# usage: reproducible.sh SOURCE_TREE WORK_DIR
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
# Both builds take the time of the commit, as make dist does in a checkout.
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null || echo 1700000000)
export SOURCE_DATE_EPOCH

fail() { echo "FAIL: $*" >&2; exit 1; }

releases=()
for copy in one another/folder; do
  tree="$work/$copy/Portico"
  mkdir -p "$tree"
  tar -C "$src" --exclude=./.git --exclude='./build*' --exclude=./.deps --exclude=./dist -cf - . | tar -C "$tree" -xf -
  # The dependencies were built by setup already; through the link their headers sit at a path
  # inside each copy, so that a header's path that leaked would differ between the two.
  ln -s "$(cd "$src/.deps" && pwd)" "$tree/.deps"
  echo "== make dist in $tree"
  env -u MAKEFLAGS -u MAKELEVEL make -s -C "$tree" dist
  release=$(echo "$tree"/dist/Portico-*-win64)
  [ -d "$release" ] || fail "no release folder in $tree/dist"
  releases+=("$release")

  for exe in "$release"/*.exe "$tree"/build-dist/bin/*.exe; do
    leaks=$(x86_64-w64-mingw32-strings -a "$exe" | grep -F -e "$work" -e "$src" -e ".deps" -e "build-dist" || true)
    [ -z "$leaks" ] || fail "$exe holds build paths: $leaks"
  done
  for exe in "$release"/*.exe; do
    x86_64-w64-mingw32-objdump -t "$exe" | grep -q "no symbols" || fail "$exe is not stripped"
  done
  [ -f "$release/UNSIGNED.txt" ] || fail "an unsigned release does not say so"
  (cd "$release" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match"
  python3 - "$release.zip" "$SOURCE_DATE_EPOCH" <<'PY' || fail "zip entries are not sorted with the commit's time"
import datetime, sys, zipfile
entries = zipfile.ZipFile(sys.argv[1]).infolist()
when = datetime.datetime.fromtimestamp(int(sys.argv[2]), datetime.timezone.utc).timetuple()[:6]
when = when[:5] + (when[5] // 2 * 2,)
names = [e.filename for e in entries]
sys.exit(names != sorted(names) or any(e.date_time != when for e in entries))
PY
done

one=${releases[0]}
other=${releases[1]}
for file in "$one"/*.exe "$one.zip"; do
  cmp "$file" "$other${file#"$one"}" || fail "$(basename "$file") differs between the two builds"
done
echo "identical: $(cd "$one" && ls ./*.exe | tr '\n' ' ')and $(basename "$one").zip"
