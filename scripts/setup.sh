#!/usr/bin/env bash
# Installs everything building and testing Portico needs, from Debian's packages only, and builds
# TinyXML2, minizip and libsodium with the cross-compiler from Debian's own source packages into .deps/.
# Idempotent: on a machine that has it all, it returns within seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
prefix="$deps/mingw"
# Bump when the way the dependencies are built changes, so that old prefixes are rebuilt.
recipe="portico-deps 3"

packages=(
  make cmake python3 dpkg-dev locales
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  libz-mingw-w64-dev libboost-dev googletest
  clang libclang-rt-14-dev libtinyxml2-dev
  osslsigncode openssl
  minisign libsodium-dev zlib1g-dev autoconf automake libtool
  msitools wixl
  nginx curl
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
apt_updated=no
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  apt_updated=yes
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine names Unix files in UTF-8 only when the process's locale exists on the Linux side; tests run
# Windows programs under these locales to get ANSI code pages 1252, 936 and 932.
wanted_locales=(en_US.UTF-8 zh_CN.UTF-8 ja_JP.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing_locales+=("$l")
done
if [ "${#missing_locales[@]}" -gt 0 ]; then
  for l in "${missing_locales[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
  done
  as_root locale-gen >/dev/null
fi

link_boost() {
  # Boost is header-only for us; a link in the prefix lets the cross-compiler see it without
  # putting the whole of /usr/include (glibc's headers) on its path.
  ln -sfn /usr/include/boost "$prefix/include/boost"
}

if [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$recipe" ]; then
  [ -e "$prefix/include/boost" ] || link_boost
  exit 0
fi

# apt-get source needs a deb-src entry. When the machine has none, add one in a file of our own that
# copies URIs, Suites and Signed-By from the machine's own entry for Debian's main archive.
ensure_deb_src() {
  if apt-cache showsrc zlib 2>/dev/null | grep -q '^Package: zlib'; then return 0; fi
  local src=/etc/apt/sources.list.d/portico-deb-src.sources
  local uris="" suites="" signed=""
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Take the first stanza of type deb whose suites do not end in -security.
    read -r uris suites signed < <(awk '
      BEGIN { RS=""; FS="\n" }
      {
        t=""; u=""; s=""; k=""
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) t = substr($i, 7)
          if ($i ~ /^URIs:/) u = substr($i, 6)
          if ($i ~ /^Suites:/) s = substr($i, 8)
          if ($i ~ /^Signed-By:/) k = substr($i, 11)
        }
        if (t ~ /(^| )deb( |$)/ && s !~ /-security/ && u != "") {
          gsub(/^ +| +$/, "", u); gsub(/^ +| +$/, "", s); gsub(/^ +| +$/, "", k)
          gsub(/ /, ",", s)
          print u, s, (k == "" ? "-" : k); exit
        }
      }' "$f") || true
    [ -n "$uris" ] && break
  done
  if [ -z "$uris" ] && [ -f /etc/apt/sources.list ]; then
    # One-line format: deb [options] URI suite components
    local line
    line=$(grep -E '^deb[[:space:]]' /etc/apt/sources.list | grep -v -- '-security' | head -n 1 || true)
    if [ -n "$line" ]; then
      echo "deb-src ${line#deb }" | as_root tee /etc/apt/sources.list.d/portico-deb-src.list >/dev/null
      as_root apt-get update -qq
      return 0
    fi
  fi
  if [ -z "$uris" ]; then
    echo "setup: no Debian archive entry found to copy a deb-src entry from" >&2
    exit 1
  fi
  {
    echo "Types: deb-src"
    echo "URIs: $uris"
    echo "Suites: ${suites//,/ }"
    echo "Components: main"
    [ "$signed" != "-" ] && echo "Signed-By: $signed"
  } | as_root tee "$src" >/dev/null
  as_root apt-get update -qq
}

if [ "$apt_updated" = no ] && ! apt-cache showsrc zlib 2>/dev/null | grep -q '^Package: zlib'; then
  as_root apt-get update -qq
fi
ensure_deb_src

rm -rf "$deps/src" "$prefix"
mkdir -p "$deps/src" "$prefix/include/minizip" "$prefix/lib"
(
  cd "$deps/src"
  apt-get source -qq tinyxml2 zlib libsodium >/dev/null 2>&1 || apt-get source tinyxml2 zlib libsodium
)

cc=x86_64-w64-mingw32-gcc-posix
cxx=x86_64-w64-mingw32-g++-posix
ar=x86_64-w64-mingw32-ar
obj="$deps/obj"
rm -rf "$obj" && mkdir -p "$obj"

txml=$(find "$deps/src" -maxdepth 2 -name tinyxml2.cpp | head -n 1)
zsrc=$(find "$deps/src" -maxdepth 4 -path '*/contrib/minizip/unzip.c' | head -n 1)
[ -n "$txml" ] && [ -n "$zsrc" ] || { echo "setup: source packages not unpacked" >&2; exit 1; }
txmldir=$(dirname "$txml")
mzdir=$(dirname "$zsrc")

"$cxx" -std=c++17 -O2 -c "$txmldir/tinyxml2.cpp" -o "$obj/tinyxml2.o"
"$ar" rcs "$prefix/lib/libtinyxml2.a" "$obj/tinyxml2.o"
cp "$txmldir/tinyxml2.h" "$prefix/include/"

for f in unzip ioapi iowin32; do
  "$cc" -O2 -w -c "$mzdir/$f.c" -o "$obj/$f.o"
done
"$ar" rcs "$prefix/lib/libminizip.a" "$obj/unzip.o" "$obj/ioapi.o" "$obj/iowin32.o"
cp "$mzdir/unzip.h" "$mzdir/ioapi.h" "$mzdir/iowin32.h" "$prefix/include/minizip/"
# Keep minizip's own sources for the benchmark baseline (miniunz).
mkdir -p "$prefix/share/minizip"
cp "$mzdir"/*.c "$mzdir"/*.h "$prefix/share/minizip/"

# libsodium: Ed25519 and BLAKE2b for signed updates, a minimal static build. Its source comes without a
# generated configure.
sodium=$(find "$deps/src" -maxdepth 1 -type d -name 'libsodium-*' | head -n 1)
[ -n "$sodium" ] || { echo "setup: libsodium's source package not unpacked" >&2; exit 1; }
(
  cd "$sodium"
  [ -x configure ] || ./autogen.sh -s >/dev/null 2>&1 || ./autogen.sh >/dev/null
  ./configure -q --host=x86_64-w64-mingw32 --prefix="$prefix" --disable-shared --enable-static --enable-minimal \
    --disable-dependency-tracking CC="$cc" CFLAGS="-O2" >/dev/null
  make -s -j"$(nproc)" >/dev/null
  make -s install >/dev/null
)
rm -rf "$prefix/lib/pkgconfig" "$prefix/lib/libsodium.la"

rm -rf "$obj"
link_boost
echo "$recipe" >"$prefix/.stamp"
echo "setup: TinyXML2, minizip and libsodium built into $prefix"
