#!/usr/bin/env bash
# Installs what is missing, builds the gate and runs it in run/, a copy of
# example/ made on first use (so running never changes tracked files).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_missing_packages
build build-release -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF
[ -d "$ROOT/run" ] || cp -r "$ROOT/example" "$ROOT/run"
cd "$ROOT/run"
exec "$ROOT/build-release/QuorvantelApp"
