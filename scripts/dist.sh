#!/usr/bin/env bash
# Builds a release: dist.sh BUILD_DIR OUT_DIR. A Release build tree of its own, without the tests,
# builds the programs release/files.txt lists; package-release.py packs them into
# OUT_DIR/Portico-<version>-win64.zip. SIGN_CERT, SIGN_KEY, SIGN_PASS and SIGN_TIMESTAMP_URL in the
# environment sign the programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-dist}
out=${2:-dist}

# Every time stamp of the release (PE header, zip entries) is this one, so that the same commit
# gives the same bytes whenever and wherever it is built.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { echo "dist: not a git checkout; set SOURCE_DATE_EPOCH to the release's time (Unix seconds)" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
# No update signed before the release is made installs; a vendor may give a later floor.
floor=${PORTICO_UPDATE_FLOOR:-0}
[[ "$floor" =~ ^[0-9]{1,19}$ ]] || { echo "dist: PORTICO_UPDATE_FLOOR must be Unix seconds" >&2; exit 1; }
floor=$(python3 -c 'import sys; print(max(int(sys.argv[1]), int(sys.argv[2])))' "$floor" "$SOURCE_DATE_EPOCH")

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DPORTICO_UPDATE_PUBLIC_KEY="${PORTICO_UPDATE_PUBLIC_KEY:-}" \
  -DPORTICO_UPDATE_FLOOR="$floor" >/dev/null
# Which key the launchers will trust, as minisign names it, so that the person releasing sees it is
# the one they sign updates with.
key_id=$(python3 - "${PORTICO_UPDATE_PUBLIC_KEY:-}" <<'PY'
import base64, binascii, sys
key = sys.argv[1].strip()
if not key:
    print("none: updates are installed unsigned unless ProductConfig.xml names a key")
    sys.exit(0)
try:
    raw = base64.b64decode(key, validate=True)
except (binascii.Error, ValueError):
    raw = b""
if len(raw) != 42 or raw[:2] != b"Ed":
    sys.exit("dist: PORTICO_UPDATE_PUBLIC_KEY is not the base64 line of a minisign public key")
print("%016X" % int.from_bytes(raw[2:10], "little"))
PY
)
echo "release: update key compiled in: $key_id"
targets=$(python3 "$root/scripts/package-release.py" targets)
# shellcheck disable=SC2086  # one word per target
cmake --build "$build" -j "$(nproc)" --target $targets SampleClient -- --no-print-directory
mkdir -p "$out"
python3 "$root/scripts/package-release.py" package "$build" "$out"

# The demo product's MSIs, one per launcher, beside the zip: the release's launchers and cleanup,
# SampleClient as DemoClient.exe, the demo's configuration and an icon. Signed as the programs are.
version=$(cat "$build/PorticoVersion.txt")
release="$out/Portico-$version-win64"
product="$build/demo-product"
rm -rf "$product" && mkdir -p "$product"
cp "$release/Portico.exe" "$release/PorticoUser.exe" "$root/demo/ProductConfig.xml" "$product/"
x86_64-w64-mingw32-strip -o "$product/DemoClient.exe" "$build/bin/SampleClient.exe"
python3 "$root/scripts/make-icon.py" "$product/DemoClient.ico" B03A2E
for variant in machine user; do
  msi="$out/PorticoDemo-$version-$variant.msi"
  rm -f "$msi"
  python3 "$root/scripts/portico-msi" "$product" --variant "$variant" --name "Portico Demo" --version "$version" \
    --manufacturer Portico --upgrade-code 5d2f8e0a-4b1c-4e3a-8f6d-9a7b3c1e2d40 \
    --cleanup "$release/PorticoCleanup.exe" -o "$msi.part" >/dev/null
  if [ -n "${SIGN_CERT:-}" ]; then
    python3 "$root/scripts/package-release.py" sign "$msi.part"
  fi
  mv "$msi.part" "$msi"
  echo "release: ${msi#"$root"/}"
done
