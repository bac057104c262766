# Sourced by the bench scripts: the Wine prefix of the build tree, and the data every figure shares,
# made once per build tree. Needs $root, $here, $build and $data.
source "$root/scripts/wine-env.sh" "$build/wineprefix"
"$root/scripts/wine-prefix" "$WINEPREFIX"

win() { local path=$1; echo "Z:${path//\//\\}"; }

mkdir -p "$data"
# The update archive is the same bytes every time; only the figures that apply it make it.
make_update_archive() {
  if [ ! -f "$data/update.zip" ] || [ "$here/make-update.py" -nt "$data/update.zip" ]; then
    echo "bench: writing the 200 MiB update archive"
    python3 "$here/make-update.py" "$data/update.zip.part"
    mv "$data/update.zip.part" "$data/update.zip"
  fi
}
# A key pair of this build tree's own, for B7 and B9.
if [ ! -f "$data/bench.key" ]; then
  minisign -G -W -f -p "$data/bench.pub" -s "$data/bench.key" >/dev/null
fi
