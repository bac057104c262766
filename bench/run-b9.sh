#!/usr/bin/env bash
# B9: the client updater fetching a 200 MiB package from nginx on loopback, under Wine,
# against curl fetching the same file natively; over HTTP and over HTTPS (a throwaway CA trusted in the
# bench's Wine prefix only); and the cost of a resume (a download cancelled half-way, then finished).
# Writes bench-run/b9-results.txt and the B9 section of docs/BENCHMARKS.md. Measures only.
# usage: run-b9.sh BUILD_DIR [ROUNDS]   (run-bench.sh runs it last; `make bench-b9` runs it alone)
set -euo pipefail
build=$(cd "${1:-build-bench}" && pwd)
rounds=${2:-${BENCH_B9_ROUNDS:-5}}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bin="$build/bin"
data="$build/bench-data"
work="$build/bench-run/b9"
results="$build/bench-run/b9-results.txt"

source "$here/bench-data.sh"
public_key=$(sed -n 2p "$data/bench.pub")

rm -rf "$work"
mkdir -p "$work/site" "$work/tls" "$work/install/temp"
: >"$results"
# A package of 200 MiB that no compression shrinks (the updater never opens it: the launcher does), its
# signature, and a signed feed that offers it to an installation of 1.0.0.
if [ ! -f "$data/b9-package.bin" ]; then
  head -c $((200 * 1024 * 1024)) /dev/urandom >"$data/b9-package.bin.part"
  mv "$data/b9-package.bin.part" "$data/b9-package.bin"
fi
ln "$data/b9-package.bin" "$work/site/benchupd-1.1.0.zip" 2>/dev/null ||
  cp "$data/b9-package.bin" "$work/site/benchupd-1.1.0.zip"
published=$(date +%s)
minisign -S -s "$data/bench.key" -m "$work/site/benchupd-1.1.0.zip" \
  -t "$(printf 'timestamp:%s\tproduct:benchupd\tversion:1.1.0' "$published")" >/dev/null
size=$(stat -c %s "$work/site/benchupd-1.1.0.zip")
sha=$(sha256sum "$work/site/benchupd-1.1.0.zip" | cut -c1-64)
cat >"$work/site/benchupd.json" <<JSON
{
  "format": 1,
  "product": "benchupd",
  "published": $published,
  "releases": [
    {
      "version": "1.1.0",
      "channel": "stable",
      "rollout": 100,
      "notes": "",
      "full": { "url": "benchupd-1.1.0.zip", "size": $size, "sha256": "$sha" },
      "deltas": []
    }
  ]
}
JSON
minisign -S -s "$data/bench.key" -m "$work/site/benchupd.json" \
  -t "$(printf 'timestamp:%s\tproduct:benchupd' "$published")" >/dev/null

# A throwaway CA and a server certificate for localhost, as the updater's own tests make them.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Portico bench CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$work/tls/ca.key" -out "$work/tls/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$work/tls/server.key" \
  -out "$work/tls/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
  >"$work/tls/server.ext"
openssl x509 -req -in "$work/tls/server.csr" -CA "$work/tls/ca.pem" -CAkey "$work/tls/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/tls/server.ext" -out "$work/tls/server.pem" 2>/dev/null
openssl x509 -in "$work/tls/ca.pem" -outform der -out "$work/tls/ca.der"

http_port=$("$root/scripts/serve-updates" start "$work/nginx-http" "$work/site")
https_port=$("$root/scripts/serve-updates" start "$work/nginx-https" "$work/site" "$work/tls/server.pem" \
  "$work/tls/server.key")
wineserver -p
trap '"$root/scripts/serve-updates" stop "$work/nginx-http"; "$root/scripts/serve-updates" stop "$work/nginx-https"; wineserver -k >/dev/null 2>&1 || true' EXIT
tool=$(win "$bin/BenchDownload.exe")
wine "$tool" trust-ca "$(win "$work/tls/ca.der")" </dev/null

clear_download() { rm -f "$work/install/temp/"*; }
# One fetch by the updater: "<transfer us> <total us> <status>" into the results as two figures.
fetch() {  # variant round url [stop-at-percent]
  local line
  if ! line=$(wine "$tool" fetch "$3" "$public_key" benchupd "$(win "$work/install")" "$(win "$work/state")" ${4:-} \
    </dev/null 2>>"$work/errors.log" | tr -d '\r'); then
    cat "$work/errors.log" >&2
    return 1
  fi
  echo "B9 $1-transfer $2 ${line%% *}" >>"$results"
  line=${line#* }
  echo "B9 $1-total $2 ${line%% *}" >>"$results"
}
curl_fetch() {  # variant round url [curl options]
  local begin
  rm -f "$work/curl.out"
  begin=$(date +%s%N)
  curl -sf -o "$work/curl.out" "${@:4}" "$3"
  echo "B9 $1 $2 $((($(date +%s%N) - begin) / 1000))" >>"$results"
}

echo "bench: B9 download, $rounds rounds"
for round in $(seq 0 $((rounds - 1))); do
  clear_download
  fetch updater-http "$round" "http://127.0.0.1:$http_port/benchupd.json"
  curl_fetch curl-http "$round" "http://127.0.0.1:$http_port/benchupd-1.1.0.zip"
  clear_download
  fetch updater-https "$round" "https://localhost:$https_port/benchupd.json"
  curl_fetch curl-https "$round" "https://localhost:$https_port/benchupd-1.1.0.zip" --cacert "$work/tls/ca.pem"
  # Half, cancelled; then the rest, resumed from the part left in temp.
  clear_download
  fetch resume-first "$round" "http://127.0.0.1:$http_port/benchupd.json" 50
  fetch resume-rest "$round" "http://127.0.0.1:$http_port/benchupd.json"
done
rm -f "$work/curl.out"
python3 "$here/report.py" --b9 "$results" "$size" "$root/docs/BENCHMARKS.md"
echo "bench: wrote the B9 section of docs/BENCHMARKS.md"
