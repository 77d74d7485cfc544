# Shared by the load scripts: builds the gate and the bare server in
# build-bench (Release), starts loopback servers in a scratch directory that
# is removed on exit (every server started here is stopped by its process id),
# and runs wrk with spread_clients.lua.
#
# Settings from the environment: DURATION (seconds per measurement, default
# 5), ROUNDS (measurements of each server, alternating, default 3), THREADS and
# CONNECTIONS (wrk's -t and -c, default 2 and 16).

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

DURATION=${DURATION:-5}
ROUNDS=${ROUNDS:-3}
THREADS=${THREADS:-2}
CONNECTIONS=${CONNECTIONS:-16}
BENCH_DIR="$ROOT/bench"
BUILD_DIR="$ROOT/build-bench"

STARTED_PIDS=()
WORK=$(mktemp -d)

stop_started() {
  local pid
  for pid in "${STARTED_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${STARTED_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap stop_started EXIT

build_bench() {
  install_missing_packages "${BENCH_PACKAGES[@]}"
  build build-bench -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON \
    -DQV_BUILD_TESTS=OFF >/dev/null
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for_port PORT: until something accepts on 127.0.0.1:PORT (10 s at most).
wait_for_port() {
  local tries
  for tries in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# start_in DIR COMMAND...: runs COMMAND in DIR, output to DIR/stdout.log and
# DIR/stderr.log.
start_in() {
  local dir=$1
  shift
  (cd "$dir" && exec "$@" >stdout.log 2>stderr.log) &
  STARTED_PIDS+=($!)
}

# start_gate DIR PORT CONSOLE(true|false): the gate in a copy of example/.
start_gate() {
  local dir=$1 port=$2 console=$3
  mkdir -p "$dir"
  cp -r "$ROOT/example/." "$dir/"
  python3 - "$dir/config.json" "$port" "$console" <<'PY'
import json, sys
path, port, console = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "true"
with open(path) as f:
    config = json.load(f)
config["server"]["port"] = port
config["features"]["enable_console_log"] = console
with open(path, "w") as f:
    json.dump(config, f, indent=2)
PY
  start_in "$dir" "$BUILD_DIR/QuorvantelApp"
  wait_for_port "$port"
}

start_bare() {
  local dir="$WORK/bare"
  mkdir -p "$dir"
  start_in "$dir" "$BUILD_DIR/bench/bare_server" "$1"
  wait_for_port "$1"
}

# start_servers: the bare server and the gate with console logging on and
# off, at $barePort, $consoleOnPort and $consoleOffPort.
start_servers() {
  barePort=$(free_port)
  start_bare "$barePort"
  consoleOnPort=$(free_port)
  start_gate "$WORK/gate-console-on" "$consoleOnPort" true
  consoleOffPort=$(free_port)
  start_gate "$WORK/gate-console-off" "$consoleOffPort" false
}

# measure URL SECONDS [script args...]: prints "rps p99_ms socket_errors";
# fails when any answer was not 2xx, since such a figure would not measure
# the path under test.
measure() {
  local url=$1 seconds=$2
  shift 2
  local line
  line=$(wrk -t"$THREADS" -c"$CONNECTIONS" -d"${seconds}s" \
    -s "$BENCH_DIR/spread_clients.lua" "$url" -- "$@" | grep '^RESULT')
  local rps p99 non2xx errors
  read -r rps p99 non2xx errors < <(echo "$line" |
    sed -E 's/RESULT rps=([0-9.]+) p99_ms=([0-9.]+) non2xx=([0-9]+) errors=([0-9]+)/\1 \2 \3 \4/')
  if [ "$non2xx" != 0 ]; then
    echo "$url: $non2xx answers not 2xx" >&2
    return 1
  fi
  echo "$rps $p99 $errors"
}

# median of the numbers given as arguments.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# compare LABEL SUBJECT_URL BASE_URL [script args...]: alternates SUBJECT and
# BASE for ROUNDS measurements each and prints one row with the medians, the
# ratio SUBJECT/BASE of requests/s and the socket errors wrk counted in all
# rounds (subject/base).
compare() {
  local label=$1 subject=$2 base=$3
  shift 3
  local subjectRps=() subjectP99=() baseRps=() baseP99=() round rps p99 errors
  local subjectErrors=0 baseErrors=0
  measure "$subject" 1 "$@" >/dev/null # warm-up
  measure "$base" 1 "$@" >/dev/null
  for round in $(seq "$ROUNDS"); do
    read -r rps p99 errors < <(measure "$subject" "$DURATION" "$@")
    subjectRps+=("$rps") subjectP99+=("$p99") subjectErrors=$((subjectErrors + errors))
    read -r rps p99 errors < <(measure "$base" "$DURATION" "$@")
    baseRps+=("$rps") baseP99+=("$p99") baseErrors=$((baseErrors + errors))
  done
  local sRps sP99 bRps bP99
  sRps=$(median "${subjectRps[@]}") sP99=$(median "${subjectP99[@]}")
  bRps=$(median "${baseRps[@]}") bP99=$(median "${baseP99[@]}")
  printf '%-34s %9.0f %8.2f %9.0f %8.2f %6.2f %s\n' "$label" "$sRps" "$sP99" \
    "$bRps" "$bP99" "$(awk -v s="$sRps" -v b="$bRps" 'BEGIN { print s / b }')" \
    "$subjectErrors/$baseErrors"
}

# print_header SUBJECT BASE
print_header() {
  printf '%-34s %9s %8s %9s %8s %6s %s\n' "" "$1 r/s" "p99 ms" "$2 r/s" \
    "p99 ms" "ratio" "sock.err"
}
