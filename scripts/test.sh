#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh          the plain build (benchmarks built, not run)
#   scripts/test.sh asan     under AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan     under ThreadSanitizer
set -euo pipefail
source "$(dirname "$0")/lib.sh"

variant=${1:-plain}
case "$variant" in
  plain) dir=build; options=(-DQV_BUILD_BENCH=ON) ;;
  asan) dir=build-asan; options=(-DQV_SANITIZE=address) ;;
  tsan) dir=build-tsan; options=(-DQV_SANITIZE=thread) ;;
  *) echo "usage: $0 [plain|asan|tsan]" >&2; exit 2 ;;
esac

install_missing_packages "${TEST_PACKAGES[@]}"
build "$dir" "${options[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cd "$ROOT/$dir"
ctest -j "$(nproc)" --output-on-failure
