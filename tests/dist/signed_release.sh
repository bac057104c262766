#!/usr/bin/env bash
# A release signed with a code-signing certificate of a throwaway CA: each program verifies against
# that CA and not against another, SHA256SUMS matches the signed programs, nothing says unsigned,
# and a program with its signature removed is byte for byte the unsigned release's. Leaves the
# unpacked release in WORK_DIR/release for Dist.SignedLauncherStartsTheTarget. SHA256SUMS signed with
# minisign verifies, and a changed one does not; an MSI signed with the same certificate verifies.
# usage: signed_release.sh BUILD_DIR WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work/keys"
export SOURCE_DATE_EPOCH=1700000000
fail() { echo "FAIL: $*" >&2; exit 1; }

keys=$work/keys
for ca in ca other-ca; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/$ca.key" -out "$keys/$ca.pem" -days 2 \
    -subj "/CN=Portico test $ca" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
done
openssl req -newkey rsa:2048 -nodes -keyout "$keys/signer.key" -out "$keys/signer.csr" \
  -subj "/CN=Portico test signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$keys/ext"
openssl x509 -req -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -CAcreateserial \
  -days 2 -extfile "$keys/ext" -out "$keys/signer.pem" 2>/dev/null
# The key under a passphrase, so that SIGN_PASS is exercised too.
openssl pkey -in "$keys/signer.key" -aes256 -passout "pass:throwaway pass" -out "$keys/signer-locked.key"

SIGN_CERT=$keys/signer.pem SIGN_KEY=$keys/signer-locked.key SIGN_PASS="throwaway pass" \
  python3 "$root/scripts/package-release.py" package "$build" "$work/signed-out"
python3 "$root/scripts/package-release.py" package "$build" "$work/unsigned-out"

zip=$(echo "$work"/signed-out/Portico-*-win64.zip)
python3 -m zipfile -e "$zip" "$work/release"
release="$work/release/$(basename "$zip" .zip)"
unsigned="$work/unsigned-out/$(basename "$zip" .zip)"

[ ! -e "$release/UNSIGNED.txt" ] || fail "a signed release says it is unsigned"
(cd "$release" && sha256sum --quiet --strict -c SHA256SUMS) || fail "SHA256SUMS does not match the signed files"
for exe in "$release"/*.exe; do
  name=$(basename "$exe")
  osslsigncode verify -CAfile "$keys/ca.pem" -in "$exe" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "$name does not verify against its CA"; }
  grep -q "Message digest algorithm  : SHA256" "$work/verify.txt" || fail "$name is not signed with SHA-256"
  if osslsigncode verify -CAfile "$keys/other-ca.pem" -in "$exe" >/dev/null 2>&1; then
    fail "$name verifies against a CA that did not issue its certificate"
  fi
  osslsigncode remove-signature -in "$exe" -out "$work/$name.bare" >/dev/null
  cmp "$work/$name.bare" "$unsigned/$name" || fail "$name holds more than its signature beyond the unsigned program"
  echo "$name: signed, verified against the test CA, otherwise the unsigned program"
done

# SHA256SUMS signed with minisign, beside the zip; a changed sums file no longer verifies.
minisign -G -W -f -p "$keys/sums.pub" -s "$keys/sums.key" >/dev/null
MINISIGN_KEY=$keys/sums.key python3 "$root/scripts/package-release.py" package "$build" "$work/sums-out"
sums=$(echo "$work"/sums-out/Portico-*-win64)
minisign -V -q -p "$keys/sums.pub" -m "$sums/SHA256SUMS" -x "$sums.SHA256SUMS.minisig" ||
  fail "SHA256SUMS does not verify against its minisign signature"
cp "$sums/SHA256SUMS" "$work/sums-changed" && echo "0000  Portico.exe" >>"$work/sums-changed"
if minisign -V -q -p "$keys/sums.pub" -m "$work/sums-changed" -x "$sums.SHA256SUMS.minisig" 2>/dev/null; then
  fail "a changed SHA256SUMS verifies"
fi
echo "SHA256SUMS: signed with minisign beside the zip, verified"

# A product's MSI signed as the programs are.
mkdir -p "$work/product"
cp "$build/bin/Portico.exe" "$root/release/ProductConfig.xml" "$work/product/"
python3 "$root/scripts/portico-msi" "$work/product" --variant machine --name Example --version 1.0.0 \
  --manufacturer Example --upgrade-code 0b9e3f2d-6a41-4c55-8e1f-3d2c7b6a5e10 \
  --cleanup "$build/bin/PorticoCleanup.exe" -o "$work/product.msi" >/dev/null
SIGN_CERT=$keys/signer.pem SIGN_KEY=$keys/signer.key python3 "$root/scripts/package-release.py" sign "$work/product.msi"
osslsigncode verify -CAfile "$keys/ca.pem" -in "$work/product.msi" >"$work/verify.txt" 2>&1 ||
  { cat "$work/verify.txt"; fail "the MSI does not verify against its CA"; }
echo "product.msi: signed, verified against the test CA"
