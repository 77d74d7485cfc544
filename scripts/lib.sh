# Shared by the run and test scripts: installs what a fresh Debian 12
# machine lacks, and builds one configuration of the project.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running the gate needs.
PACKAGES=(
  g++ cmake make pkg-config
  libcpp-httplib-dev nlohmann-json3-dev libbrotli-dev libssl-dev zlib1g-dev
)
# What the tests, benchmarks and fuzz targets need on top. Debian's nginx
# starts itself on port 80 where systemd runs, so running the gate never
# installs it.
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  nginx-light wrk
  python3
  clang libclang-rt-14-dev
)

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
