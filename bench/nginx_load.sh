#!/usr/bin/env bash
# Load through Debian's nginx on loopback, in one run: nginx alone serving a
# small static file, nginx with auth_request to the bare server, and nginx
# with auth_request to the gate (the example configuration, console logging
# on and off). The /check location is deploy/nginx/quorvantel-check.conf as
# users get it; each site also takes the client address from X-Real-IP
# (nginx's realip module, as behind a load balancer), so the gate sees the
# 100,000 addresses of spread_clients.lua rather than 127.0.0.1 alone.
# Prints the medians of requests/s and p99 latency and the ratios. See
# bench_lib.sh for DURATION, ROUNDS, THREADS, CONNECTIONS.
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

# nginx_site PORT [GATE_PORT]: a server block serving $WORK/www at PORT,
# guarded by the gate (or bare server) at GATE_PORT when given.
nginx_site() {
  local port=$1 gatePort=${2:-}
  echo "  server {"
  echo "    listen 127.0.0.1:$port;"
  echo "    root $WORK/www;"
  echo "    set_real_ip_from 127.0.0.1;"
  echo "    real_ip_header X-Real-IP;"
  if [ -z "$gatePort" ]; then
    echo "    location / { }"
  else
    sed "s/127\.0\.0\.1:5000/127.0.0.1:$gatePort/" \
      "$ROOT/deploy/nginx/quorvantel-check.conf" >"$WORK/check-$gatePort.conf"
    echo "    location / { auth_request /check; }"
    echo "    include $WORK/check-$gatePort.conf;"
  fi
  echo "  }"
}

start_nginx() {
  local config="$WORK/nginx.conf" kind
  mkdir -p "$WORK/www" "$WORK/nginx"
  echo "OK" >"$WORK/www/index.html"
  {
    echo "daemon off;"
    echo "worker_processes auto;"
    # Workers must read the scratch directory, which only its owner may.
    [ "$(id -u)" -eq 0 ] && echo "user root;"
    echo "pid $WORK/nginx/nginx.pid;"
    echo "error_log $WORK/nginx/error.log;"
    echo "events { worker_connections 4096; }"
    echo "http {"
    echo "  access_log off;"
    for kind in client_body proxy fastcgi uwsgi scgi; do
      echo "  ${kind}_temp_path $WORK/nginx/${kind}_temp;"
    done
    nginx_site "$staticPort"
    nginx_site "$bareFrontPort" "$barePort"
    nginx_site "$onFrontPort" "$consoleOnPort"
    nginx_site "$offFrontPort" "$consoleOffPort"
    echo "}"
  } >"$config"
  start_in "$WORK/nginx" /usr/sbin/nginx -p "$WORK/nginx" -c "$config"
  wait_for_port "$staticPort"
}

build_bench
start_servers
staticPort=$(free_port) bareFrontPort=$(free_port)
onFrontPort=$(free_port) offFrontPort=$(free_port)
start_nginx

site() { echo "http://127.0.0.1:$1/"; }
echo "wrk -t$THREADS -c$CONNECTIONS, ${DURATION}s x $ROUNDS rounds each, medians"
print_header subject base
compare "nginx+bare / nginx alone" "$(site "$bareFrontPort")" \
  "$(site "$staticPort")" front
compare "nginx+gate, console off / +bare" "$(site "$offFrontPort")" \
  "$(site "$bareFrontPort")" front
compare "nginx+gate, console on / +bare" "$(site "$onFrontPort")" \
  "$(site "$bareFrontPort")" front
