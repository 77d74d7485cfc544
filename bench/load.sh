#!/usr/bin/env bash
# Direct load on loopback: the gate (the example configuration, console
# logging on and off) against the bare server of the same HTTP stack,
# alternating in one run, on keep-alive connections and with a new connection
# per request. Prints the medians of requests/s and p99 latency and the ratio
# gate/bare. See bench_lib.sh for DURATION, ROUNDS, THREADS, CONNECTIONS.
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

build_bench
start_servers

bare="http://127.0.0.1:$barePort/check"
on="http://127.0.0.1:$consoleOnPort/check"
off="http://127.0.0.1:$consoleOffPort/check"
echo "wrk -t$THREADS -c$CONNECTIONS, ${DURATION}s x $ROUNDS rounds each, medians"
print_header gate bare
compare "keep-alive, console logging off" "$off" "$bare" gate
compare "keep-alive, console logging on" "$on" "$bare" gate
compare "new connection, console off" "$off" "$bare" gate close
compare "new connection, console on" "$on" "$bare" gate close
