# Shared by the run and test scripts: installs what a fresh Debian 12
# machine lacks, and builds one configuration of the project.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running the gate needs.
PACKAGES=(
  g++ cmake make pkg-config
  libcpp-httplib-dev nlohmann-json3-dev libbrotli-dev libssl-dev zlib1g-dev
)
# What the benchmarks need on top (Google Benchmark, and the load scripts'
# nginx, wrk and python3). Debian's nginx starts itself on port 80 where
# systemd runs, so running the gate never installs it.
BENCH_PACKAGES=(libbenchmark-dev nginx-light wrk python3)
# What the tests need on top: the plain test build builds the benchmarks
# too, and an end-to-end test runs the gate behind nginx.
TEST_PACKAGES=(libgtest-dev libgmock-dev "${BENCH_PACKAGES[@]}")

# install_missing_packages [extra packages...]: PACKAGES plus the extras.
install_missing_packages() {
  local missing=()
  for package in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}

# build DIR [cmake options...]
build() {
  local dir=$1
  shift
  cmake -S "$ROOT" -B "$ROOT/$dir" "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$(nproc)"
}
