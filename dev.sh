#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zandrel or runs its tests.
#   ./dev.sh start      build and start the window
#   ./dev.sh test       build and run every test (unit, fault and end-to-end)
#   ./dev.sh sanitize   build with AddressSanitizer/UBSan and run the tests there
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  cmake g++ pkg-config make               # toolchain
  qt6-base-dev libgl-dev xdg-utils        # the window; xdg-open starts the file manager
  libexiv2-dev                            # embedded JPEG previews
  libxxhash-dev                           # checksums of verified copies
  libgtest-dev                            # unit tests
  fonts-dejavu-core fonts-liberation      # a sans-serif that fits the window's fixed label widths
  xvfb xauth xdotool x11-utils imagemagick  # end-to-end tests under a real X server
  python3 python3-pyatspi at-spi2-core dbus-x11  # screen-reader tests
  python3-xlib                            # the window's answer to the desktop's ping (bench)
  desktop-file-utils dpkg-dev file        # installation and package tests
  strace exfatprogs exfat-fuse util-linux rsync  # fault injection, exFAT over FUSE, benchmarks
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

case "${1:-}" in
  start)
    install_missing
    build build
    exec ./build/zandrel ;;
  test)
    install_missing
    build build
    ctest --test-dir build --output-on-failure ;;
  sanitize)
    install_missing
    build build-asan -DZANDREL_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure ;;
  *)
    echo "usage: $0 start|test|sanitize" >&2
    exit 2 ;;
esac
