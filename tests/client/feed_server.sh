#!/usr/bin/env bash
# nginx serving a folder on loopback for the updater's tests: its own configuration, prefix, logs and
# throwaway certificate authority, all under DIR; never the system's service.
# usage: feed_server.sh start DIR | stop DIR
set -euo pipefail
action=$1
dir=$2
conf="$dir/nginx.conf"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

configure() {
  mkdir -p "$dir/www" "$dir/logs" "$dir/tmp" "$dir/tls"
  # The CA is trusted by the test's own Wine prefix only, and lives as long as this folder.
  (
    cd "$dir/tls"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj "/CN=Portico Test CA" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost"
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >ext
    openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile ext
    openssl x509 -in ca.crt -outform der -out ca.der
  ) >"$dir/logs/openssl.log" 2>&1
  local http https user=""
  http=$(free_port)
  https=$(free_port)
  while [ "$https" = "$http" ]; do https=$(free_port); done
  [ "$(id -u)" -eq 0 ] && user="user root;"
  cat >"$conf" <<CONF
$user
daemon on;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 64; }
http {
  log_format ranges '\$request \$status range=\$http_range sent=\$body_bytes_sent';
  access_log $dir/logs/access.log ranges;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$http;
    listen 127.0.0.1:$https ssl;
    ssl_certificate $dir/tls/server.crt;
    ssl_certificate_key $dir/tls/server.key;
    root $dir/www;
    location ~ /slow/ { limit_rate 128k; }
    location ~ /failing/ { return 500; }
  }
}
CONF
  echo "$http $https" >"$dir/ports"
}

case "$action" in
  start)
    [ -f "$conf" ] || configure
    nginx -c "$conf" -p "$dir/" </dev/null >>"$dir/logs/start.log" 2>&1
    ;;
  stop)
    [ -f "$dir/nginx.pid" ] || exit 0
    pid=$(cat "$dir/nginx.pid")
    nginx -c "$conf" -p "$dir/" -s stop </dev/null >>"$dir/logs/start.log" 2>&1 || kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || exit 0; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
