#!/usr/bin/env bash
# The demo: a sample installation inside the demo's own Wine prefix with a desktop shortcut under
# its old name and an update waiting in temp; the launcher started as the shortcut does, then two
# links opened through the shell; a transcript of what happened, with the configuration checker's
# report, and a screenshot of the client; a signed update installed and a changed one refused. Then
# the per-user launcher in the user's own folder: a start and a link through the shell. Both
# installations keep the launcher's log file, printed at the end. Last, a product's machine-wide MSI
# installed, a link opened, and the uninstall shown to leave nothing. Then the client updater: a
# signed feed with a delta served by nginx on loopback, fetched by the client, installed by the
# launcher's next start.
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
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

out="$build/demo"
rm -rf "$out" && mkdir -p "$out"
install_unix="$WINEPREFIX/drive_c/Demo Client"
install_win='C:\Demo Client'
desktop_win='C:\users\Public\Desktop'
tool="$build/bin/DemoTool.exe"

# Every Windows program writes to files: Wine's helper processes would hold a pipe open.
win() {
  local name=$1
  shift
  wine "$@" >"$out/$name.out" 2>"$out/$name.err" </dev/null
}
show() { sed 's/\r$//' "$out/$1.out"; }
registered_command() {
  if win reg reg query 'HKCR\demo\shell\open\command' /ve; then
    show reg | grep -i 'REG_SZ' | sed 's/^ */   /'
  else
    echo "   (not registered)"
  fi
}
shortcut() {
  echo "   ${1}.lnk:"
  win shortcut "$tool" show-shortcut "${2:-$desktop_win}\\$1.lnk" || true
  show shortcut
}
record() { sed 's/^/   /' "$install_unix/DemoClient.record.txt" 2>/dev/null || echo "   (nothing yet)"; }
checked() {
  local rc=0
  win check "$build/bin/PorticoCheck.exe" "$install_win" || rc=$?
  show check | sed 's/^/   /'
  echo "   exit code: $rc"
}
launcher_log() {
  echo "   exit code: $1"
  if [ -s "$out/launcher.err" ]; then
    echo "   log lines (standard error, code page 936):"
    iconv -f GBK -t UTF-8 "$out/launcher.err" | sed 's/^/     /'
  fi
}

# The launcher as the desktop shortcut starts it, and its log lines; then a moment for the client.
start_launcher() {
  local rc=0
  win launcher "$install_win\\Portico.exe" || rc=$?
  launcher_log $rc
  sleep 2
}

echo "== Laying out a sample installation in $install_win"
win taskkill taskkill /f /im DemoClient.exe || true
rm -rf "$install_unix"
mkdir -p "$install_unix/temp"
cp "$build/bin/Portico.exe" "$install_unix/"
cp "$build/bin/SampleClient.exe" "$install_unix/DemoClient.exe"
cp "$root/demo/ProductConfig.xml" "$install_unix/"
printf 'pipe=DemoClientPipe\n' >"$install_unix/DemoClient.settings.txt"
python3 "$root/scripts/make-icon.py" "$install_unix/DemoClient.ico" B03A2E
printf 'Demo Client 1.0\n' >"$install_unix/readme.txt"
printf 'partial download\n' >"$install_unix/temp/update.td0"
python3 - "$install_unix/temp/update.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("readme.txt", "Demo Client 2.0\n")
    z.writestr("data/", "")
    z.writestr("data/version.txt", "2.0.0\n")
PY
win reg-delete reg delete 'HKCR\demo' /f || true
rm -f "$WINEPREFIX/drive_c/users/Public/Desktop/"*.lnk
win make-shortcut "$tool" make-shortcut "$desktop_win\\演示客户端.lnk" "$install_win\\DemoClient.exe"
(cd "$install_unix" && find . -type f | sort | sed 's/^\.\//   /')
cat <<EOF

   ProductConfig.xml names DemoClient.exe, the scheme "demo", the pipe DemoClientPipe, the
   shortcut 演示客户端 to be renamed 演示客户端 2 (the interface is Chinese: no Language value),
   and one enabled extra argument, --from-launcher. LogFile turns on the log file, Portico.log beside
   the launcher.

== PorticoCheck.exe on the installation folder: what the launcher will make of ProductConfig.xml
$(checked)

== Before the first start
   registered open command of demo://:
$(registered_command)
   desktop shortcuts:
$(shortcut 演示客户端)

== 1. Starting the launcher as the desktop shortcut does (no arguments)
EOF
start_launcher
cat <<EOF
   registered open command of demo:// now:
$(registered_command)
   desktop shortcuts now:
$(shortcut 演示客户端)
$(shortcut "演示客户端 2")
   the update from temp was installed:
     readme.txt:        $(cat "$install_unix/readme.txt")
     data/version.txt:  $(cat "$install_unix/data/version.txt" 2>/dev/null || echo missing)
     update.zip left:   $(ls "$install_unix/update.zip" 2>/dev/null || echo "no (removed after installing)")
     temp now holds:    $(ls -A "$install_unix/temp" | tr '\n' ' ')
   DemoClient recorded:
$(record)

== 2. Opening demo://open?id=7 through the shell while DemoClient runs (hand-off road)
EOF
win start1 start "demo://open?id=7"
win answer1 "$tool" answer-box Portico.exe || true
show answer1
sleep 2
echo "   DemoClient recorded:"
record

echo
echo "== 3. Closing DemoClient, then opening demo://open?id=8 through the shell (start road)"
win taskkill taskkill /f /im DemoClient.exe || true
sleep 1
win start2 start "demo://open?id=8"
sleep 4
echo "   DemoClient recorded:"
record

win screenshot "$tool" screenshot "SampleClient - DemoClient.exe" "$out/sampleclient.bmp" || true
if [ -f "$out/sampleclient.bmp" ]; then
  python3 "$here/bmp-to-png.py" "$out/sampleclient.bmp" "$out/sampleclient.png"
  echo
  echo "== Screenshot of DemoClient's window: $out/sampleclient.png"
fi
win taskkill taskkill /f /im DemoClient.exe || true

# Signed updates: the vendor's key pair, the public key in the configuration, one update signed and
# installed, and one changed after signing and refused. The key has no password (-W) only because
# the demo cannot type one.
keys="$out/keys"
mkdir -p "$keys"
minisign -G -W -f -p "$keys/demo-update.pub" -s "$keys/demo-update.key" >/dev/null
public_key=$(sed -n 2p "$keys/demo-update.pub")
sed "s|</Product>|  <UpdatePublicKey>$public_key</UpdatePublicKey>\n</Product>|" "$root/demo/ProductConfig.xml" \
  >"$install_unix/ProductConfig.xml"
# Each release is a tree as the build leaves it; portico-pack makes the update from the tree before
# it, with what changed and the list of what went.
releases="$out/releases"
mkdir -p "$releases/2.0/data"
printf 'Demo Client 2.0\n' >"$releases/2.0/readme.txt"
printf '2.0.0\n' >"$releases/2.0/data/version.txt"
signed_update() {
  rm -rf "${releases:?}/$1" && cp -a "$releases/$2" "$releases/$1"
  printf 'Demo Client %s\n' "$1" >"$releases/$1/readme.txt"
  printf '%s.0\n' "$1" >"$releases/$1/data/version.txt"
  win pack "$build/bin/portico-pack.exe" make "$(winepath -w "$releases/$1")" --from "$(winepath -w "$releases/$2")" \
    -o "$install_win\\temp\\update.zip"
  minisign -S -s "$keys/demo-update.key" -m "$install_unix/temp/update.zip" >/dev/null
}
packed() {
  local rc=0
  win pack-check "$build/bin/portico-pack.exe" check "$install_win\\temp\\update.zip" --installation "$install_win" || rc=$?
  show pack-check | sed 's/^/     /'
  echo "     exit code: $rc"
}
start_signed() {
  start_launcher
  win taskkill taskkill /f /im DemoClient.exe || true
  echo "   readme.txt now:    $(cat "$install_unix/readme.txt")"
  echo "   left in temp:      $(ls -A "$install_unix/temp" | tr '\n' ' ')"
  echo "   update.zip left:   $(ls "$install_unix/update.zip" 2>/dev/null || echo no)"
}
signed_update 3.0 2.0
cat <<EOF

== 4. Signed updates: ProductConfig.xml now names the vendor's minisign public key
   <UpdatePublicKey>$public_key</UpdatePublicKey>
   An update to 3.0, made from the release trees and signed with:
     portico-pack make releases\3.0 --from releases\2.0 -o update.zip
     minisign -S -s demo-update.key -m update.zip
$(sed 's/^/     /' "$install_unix/temp/update.zip.minisig")
   What the launcher will do with it (portico-pack check update.zip --installation "$install_win"):
$(packed)
   Starting the launcher as the shortcut does: the signature holds, and the update is installed.
EOF
start_signed
echo "   stamp of the last signed update (~pt-update.stamp): $(cat "$install_unix/~pt-update.stamp")"
signed_update 4.0 3.0
# One byte of the archive changed after signing: the signature no longer holds.
python3 - "$install_unix/temp/update.zip" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[40] ^= 1
open(sys.argv[1], "wb").write(bytes(data))
PY
cat <<EOF

== 5. An update to 4.0 changed after signing (one byte of update.zip): refused, nothing installed
EOF
start_signed
cp "$root/demo/ProductConfig.xml" "$install_unix/ProductConfig.xml"

# The per-user launcher in an installation of the user's own, with a scheme of its own.
win folder-appdata "$tool" folder local-app-data
user_install_win="$(show folder-appdata)\Programs\Demo Client"
win folder-desktop "$tool" folder desktop
user_desktop_win=$(show folder-desktop)
user_install_unix=$(winepath -u "$user_install_win" 2>/dev/null)
user_desktop_unix=$(winepath -u "$user_desktop_win" 2>/dev/null)
user_record() { sed 's/^/   /' "$user_install_unix/DemoClient.record.txt" 2>/dev/null || echo "   (nothing yet)"; }
registered_in() {
  if win reg reg query "$1\demouser\shell\open\command" /ve; then
    show reg | grep -i 'REG_SZ' | sed 's/^ */   /'
  else
    echo "   (not registered)"
  fi
}
rm -rf "$user_install_unix"
mkdir -p "$user_install_unix/temp"
cp "$build/bin/PorticoUser.exe" "$user_install_unix/"
cp "$build/bin/SampleClient.exe" "$user_install_unix/DemoClient.exe"
sed 's|<Protocol>demo</Protocol>|<Protocol>demouser</Protocol>|' "$root/demo/ProductConfig.xml" >"$user_install_unix/ProductConfig.xml"
printf 'pipe=DemoClientPipe\n' >"$user_install_unix/DemoClient.settings.txt"
python3 "$root/scripts/make-icon.py" "$user_install_unix/DemoClient.ico" 2E6BB0
win reg-delete reg delete 'HKCU\Software\Classes\demouser' /f || true
win reg-delete reg delete 'HKLM\Software\Classes\demouser' /f || true
rm -f "$user_desktop_unix/"*.lnk
win make-shortcut "$tool" make-shortcut "$user_desktop_win\演示客户端.lnk" "$user_install_win\DemoClient.exe"
cat <<EOF

== 6. The per-user launcher: PorticoUser.exe in $user_install_win
   The same program and configuration with the scheme "demouser", and a shortcut 演示客户端 on the
   user's own desktop ($user_desktop_win). Starting PorticoUser.exe as that shortcut does:
EOF
set +e
win launcher "$user_install_win\PorticoUser.exe"
rc=$?
set -e
launcher_log $rc
sleep 2
cat <<EOF
   registered open command of demouser:// for the user (HKCU\Software\Classes):
$(registered_in 'HKCU\Software\Classes')
   and for the machine (HKEY_CLASSES_ROOT), which PorticoUser.exe never writes:
$(registered_in 'HKCR')
   the user's desktop shortcuts now:
$(shortcut 演示客户端 "$user_desktop_win")
$(shortcut "演示客户端 2" "$user_desktop_win")
   the common desktop holds what the machine-wide launcher left: $(cd "$WINEPREFIX/drive_c/users/Public/Desktop" && ls -- *.lnk | tr '\n' ' ')
   DemoClient recorded:
$(user_record)

== 7. Opening demouser://open?id=9 through the shell while that DemoClient runs (hand-off road)
EOF
set +e
win start3 start "demouser://open?id=9"
rc=$?
set -e
echo "   start demouser://open?id=9: exit code $rc, $(sed 's/\r$//' "$out/start3.out" "$out/start3.err" | head -1)"
cat <<EOF
   Wine's shell reads HKEY_CLASSES_ROOT, which Wine keeps as HKLM\Software\Classes alone. On
   Windows it is a merged view in which the user's own classes come first, so the shell finds
   demouser:// there. The demo gives Wine's shell that view by copying the user's key to
   HKLM\Software\Classes, and opens the link again:
EOF
win reg-copy reg copy 'HKCU\Software\Classes\demouser' 'HKLM\Software\Classes\demouser' /s /f
win start4 start "demouser://open?id=9"
win answer2 "$tool" answer-box PorticoUser.exe || true
show answer2
# The client records the message and then the link its handler got; a busy machine may take a while.
for _ in $(seq 30); do
  grep -q "link: open?id=9" "$user_install_unix/DemoClient.record.txt" 2>/dev/null && break
  sleep 0.5
done
echo "   DemoClient recorded:"
user_record
win reg-delete reg delete 'HKLM\Software\Classes\demouser' /f || true
win taskkill taskkill /f /im DemoClient.exe || true
log_file() {
  echo "   $1 (code page 936; link query values masked):"
  if [ -f "$2" ]; then iconv -f GBK -t UTF-8 "$2" | sed 's/^/     /'; else echo "     (none)"; fi
}
echo
echo "== 8. The launchers' log files, as the support desk reads them (docs/Troubleshooting.md)"
log_file "$install_win\\Portico.log" "$install_unix/Portico.log"
log_file "$user_install_win\\Portico.log" "$user_install_unix/Portico.log"

# The product's MSI: the machine-wide package of a product of its own (scheme demomsi), installed and
# removed with Wine's msiexec.
msi_product="$out/msi-product"
mkdir -p "$msi_product"
cp "$build/bin/Portico.exe" "$msi_product/"
cp "$build/bin/SampleClient.exe" "$msi_product/DemoClient.exe"
sed -e 's|<Protocol>demo</Protocol>|<Protocol>demomsi</Protocol>|' -e 's|Demo Client|Demo MSI|g' \
  "$root/demo/ProductConfig.xml" >"$msi_product/ProductConfig.xml"
python3 "$root/scripts/portico-msi" "$msi_product" --variant machine --name "Demo MSI" --version 1.0.0 \
  --manufacturer "Portico Demo" --upgrade-code 7e4a1b90-2c3d-4f5e-8a6b-1c2d3e4f5a60 \
  --cleanup "$build/bin/PorticoCleanup.exe" -o "$out/DemoMSI.msi" >/dev/null
msi_win="Z:$(echo "$out/DemoMSI.msi" | tr / '\\')"
msi_install_unix="$WINEPREFIX/drive_c/Program Files/Demo MSI"
msi_state() {
  if win msireg reg query 'HKLM\Software\Classes\demomsi\shell\open\command' /ve; then
    show msireg | grep -i 'REG_SZ' | sed 's/^ */   scheme: /'
  else
    echo "   scheme: demomsi is not registered"
  fi
  if [ -d "$msi_install_unix" ]; then
    echo "   C:\Program Files\Demo MSI: $(cd "$msi_install_unix" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')"
  else
    echo "   C:\Program Files\Demo MSI: absent"
  fi
  echo "   shortcuts named Demo MSI*: $(cd "$WINEPREFIX/drive_c" && find users ProgramData -name 'Demo MSI*.lnk' 2>/dev/null | tr '\n' ' ')"
}
echo
echo "== 9. The product's MSI (docs/Installing.md): msiexec /i DemoMSI.msi /qn"
win msi-install msiexec /i "$msi_win" /qn
msi_state
echo "   start demomsi://open?id=10:"
win start5 start "demomsi://open?id=10"
for _ in $(seq 60); do
  grep -q "open?id=10" "$msi_install_unix/DemoClient.record.txt" 2>/dev/null && break
  sleep 0.5
done
sed 's/^/     /' "$msi_install_unix/DemoClient.record.txt" 2>/dev/null || echo "     (the client recorded nothing)"
win taskkill2 taskkill /f /im DemoClient.exe || true
sleep 1
echo "   after the run the installation also holds: $(cd "$msi_install_unix" && ls | grep -v -x -e DemoClient.exe -e Portico.exe -e PorticoCleanup.exe -e ProductConfig.xml | tr '\n' ' ')"
echo "== 10. msiexec /x DemoMSI.msi /qn: what is left"
win msi-remove msiexec /x "$msi_win" /qn
msi_state
# The client updater, end to end: two releases of a product of its own (scheme demoupd), the second
# offered by a signed feed with a full package and a delta, both signed, served by nginx on loopback.
# DemoClient 1.0.0 checks the feed and places the delta in temp; the launcher's next start installs it.
upd_unix="$WINEPREFIX/drive_c/Demo Updates"
upd_win='C:\Demo Updates'
site="$out/update-site"
releases="$out/releases"
rm -rf "$upd_unix" "$site" "$releases" "$WINEPREFIX/drive_c/Demo Updates State"
mkdir -p "$upd_unix/temp" "$site" "$releases"
trap '"$here/serve-updates" stop "$out/nginx"; wineserver -k >/dev/null 2>&1 || true' EXIT
port=$("$here/serve-updates" start "$out/nginx" "$site")
feed_url="http://127.0.0.1:$port/demoupd.json"
release() {  # folder version
  mkdir -p "$1/data"
  cp "$build/bin/SampleClient.exe" "$1/DemoClient.exe"
  printf 'Demo Updates %s\n' "$2" >"$1/readme.txt"
  printf '%s\n' "$2" >"$1/data/version.txt"
  printf 'window=none\nupdate-feed=%s\nupdate-key=%s\nupdate-product=demoupd\nupdate-version=%s\nupdate-state=%s\n' \
    "$feed_url" "$public_key" "$2" 'C:\Demo Updates State' >"$1/DemoClient.settings.txt"
}
release "$releases/1.0.0" 1.0.0
release "$releases/1.1.0" 1.1.0
printf 'New in 1.1.0\n' >"$releases/1.1.0/data/whatsnew.txt"
cp -r "$releases/1.0.0/." "$upd_unix/"
cp "$build/bin/Portico.exe" "$upd_unix/"
sed -e 's|<Protocol>demo</Protocol>|<Protocol>demoupd</Protocol>|' -e 's|Demo Client|Demo Updates|g' \
  -e "s|</Product>|  <UpdatePublicKey>$public_key</UpdatePublicKey>\n</Product>|" \
  "$root/demo/ProductConfig.xml" >"$upd_unix/ProductConfig.xml"
published=$(date +%s)
# The packages, made by portico-pack from the release trees: the whole of 1.1.0, and the delta from
# 1.0.0 (the files that changed or came, and the list of those that went).
pack="$build/bin/portico-pack.exe"
win pack-full "$pack" make "$(winepath -w "$releases/1.1.0")" -o "$(winepath -w "$site/demoupd-1.1.0.zip")"
win pack-delta "$pack" make "$(winepath -w "$releases/1.1.0")" --from "$(winepath -w "$releases/1.0.0")" \
  -o "$(winepath -w "$site/demoupd-1.0.0-to-1.1.0.zip")"
for package in demoupd-1.1.0.zip demoupd-1.0.0-to-1.1.0.zip; do
  minisign -S -s "$keys/demo-update.key" -m "$site/$package" \
    -t "$(printf 'timestamp:%s\tproduct:demoupd\tversion:1.1.0' "$published")" >/dev/null
done
# The feed, written by portico-pack with each package's size and SHA-256; minisign signs it here, since
# portico-pack.exe cannot run the Linux minisign under Wine.
win pack-feed "$pack" feed "$(winepath -w "$site/demoupd.json")" --product demoupd --version 1.1.0 \
  --channel stable --full "$(winepath -w "$site/demoupd-1.1.0.zip")" \
  --delta "1.0.0=$(winepath -w "$site/demoupd-1.0.0-to-1.1.0.zip")" --timestamp "$published"
published=$(sed -n 's/^ *"published": *\([0-9]*\).*/\1/p' "$site/demoupd.json")
minisign -S -s "$keys/demo-update.key" -m "$site/demoupd.json" \
  -t "$(printf 'timestamp:%s\tproduct:demoupd' "$published")" >/dev/null
upd_record() { sed 's/^/   /' "$upd_unix/DemoClient.record.txt" 2>/dev/null || echo "   (nothing yet)"; }
wait_for_record() {  # pattern
  for _ in $(seq 120); do
    grep -q "$1" "$upd_unix/DemoClient.record.txt" 2>/dev/null && return 0
    sleep 0.5
  done
  echo "   (the client did not record \"$1\" within a minute)"
}
cat <<EOF

== 11. The client updater (docs/Updates.md): a signed feed on nginx, a delta placed by DemoClient
   $upd_win holds release 1.0.0 of a product of its own (scheme demoupd), with the vendor's key of
   step 4 in ProductConfig.xml. portico-pack makes two packages of release 1.1.0 (the whole release,
   and a delta of what changed since 1.0.0) and writes the feed with their sizes and SHA-256; each
   is signed with minisign, the packages' trusted comments naming timestamp, product and version:
$(cd "$site" && ls -l | awk 'NR > 1 { printf "     %10s  %s\n", $5, $9 }')
   The feed, $feed_url (nginx on loopback, started by scripts/serve-updates):
$(sed 's/^/     /' "$site/demoupd.json")
   DemoClient.settings.txt names the feed, the key, the product and the version installed:
$(sed 's/^/     /' "$upd_unix/DemoClient.settings.txt")
   Starting the launcher as a shortcut does: DemoClient 1.0.0 starts and checks for updates.
EOF
set +e
win launcher "$upd_win\\Portico.exe"
rc=$?
set -e
launcher_log $rc
wait_for_record "update download: [a-z]"
cat <<EOF
   DemoClient recorded:
$(upd_record)
   temp now holds: $(ls -A "$upd_unix/temp" | tr '\n' ' ')
   nginx served (its access log: method, path, status, bytes; without the script's own look at "/"):
$(awk '$7 != "/" { print "     " $6 " " $7 " " $9 " " $10 }' "$out/nginx/logs/access.log" | tr -d '"')
EOF
win taskkill3 taskkill /f /im DemoClient.exe || true
rm -f "$upd_unix/DemoClient.record.txt"
echo
echo "== 12. The next start of the launcher installs the delta; DemoClient 1.1.0 finds nothing newer"
set +e
win launcher "$upd_win\\Portico.exe"
rc=$?
set -e
launcher_log $rc
wait_for_record "update check: up to date\|update check: [a-z ]*error\|update check: feed refused"
cat <<EOF
   readme.txt now:        $(cat "$upd_unix/readme.txt")
   data/version.txt now:  $(cat "$upd_unix/data/version.txt")
   data/whatsnew.txt:     $(cat "$upd_unix/data/whatsnew.txt" 2>/dev/null || echo missing)
   temp\\~pt-update.outcome (the launcher's word to the updater): $(tr '\t' ' ' <"$upd_unix/temp/~pt-update.outcome" 2>/dev/null || echo none)
   DemoClient recorded:
$(upd_record)
EOF
win taskkill4 taskkill /f /im DemoClient.exe || true
"$here/serve-updates" stop "$out/nginx"
echo "== Demo finished"
