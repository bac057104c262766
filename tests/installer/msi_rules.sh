#!/usr/bin/env bash
# portico-msi --validate refuses packages that break a rule Windows Installer enforces and Wine's
# msiexec lets pass: each row breaks one rule in a good per-user package's tables, and must be named.
# usage: msi_rules.sh BUILD_DIR WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work/product"
fail() { echo "FAIL: $*" >&2; exit 1; }
cp "$build/bin/PorticoUser.exe" "$root/release/ProductConfig.xml" "$work/product/"
msi() { python3 "$root/scripts/portico-msi" "$@"; }
msi "$work/product" --variant user --name Example --version 1.0.0 --manufacturer Example \
  --upgrade-code 2a7c9e14-3b5d-4f60-8a1b-6c2d4e8f0a31 --cleanup "$build/bin/PorticoCleanup.exe" -o "$work/good.msi"
msi --validate "$work/good.msi" >/dev/null || fail "a good package was refused"

# query | words the refusal must hold
while IFS='|' read -r query expected; do
  cp "$work/good.msi" "$work/bad.msi"
  msibuild "$work/bad.msi" -q "$query"
  if msi --validate "$work/bad.msi" >"$work/out.txt" 2>&1; then fail "passed with: $query"; fi
  grep -q "$expected" "$work/out.txt" || { cat "$work/out.txt"; fail "not named ($expected): $query"; }
  echo "refused: $expected"
done <<'ROWS'
UPDATE `Registry` SET `Root` = 2 WHERE `Component_` = 'cProduct'|outside HKCU
UPDATE `Component` SET `KeyPath` = '' WHERE `Component` = 'cCleanup'|has no key path
UPDATE `Component` SET `Attributes` = 260 WHERE `Component` = 'cLinks'|not permanent
UPDATE `Component` SET `Attributes` = 4 WHERE `Component` = 'cProduct'|not 64-bit
DELETE FROM `RemoveFile` WHERE `FileKey` = 'rmPrograms'|not removed on uninstall
DELETE FROM `Registry` WHERE `Name` = 'URL Protocol'|URL Protocol
UPDATE `InstallExecuteSequence` SET `Condition` = 'REMOVE~="ALL"' WHERE `Action` = 'PorticoCleanup'|an upgrade would lose
UPDATE `InstallExecuteSequence` SET `Sequence` = 6601 WHERE `Action` = 'RemoveExistingProducts'|older version is not removed
ROWS
