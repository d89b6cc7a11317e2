#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zandrel or runs its tests.
#   ./dev.sh start      build and start the window
#   ./dev.sh test       build and run every test (unit, fault and end-to-end)
#   ./dev.sh sanitize   build with AddressSanitizer/UBSan and run the tests there
#   ./dev.sh windows    cross-build for Windows, run the tests under Wine, make the zip and installer
# ZANDREL_WERROR=ON ./dev.sh ...  makes every compiler warning an error, as CI does.
set -euo pipefail
cd "$(dirname "$0")"

# What building and running Zandrel need: all that `start` installs.
run_packages=(
  cmake g++ pkg-config make               # toolchain
  qt6-base-dev libgl-dev xdg-utils        # the window; xdg-open starts the file manager
  qt6-translations-l10n                   # Qt's Dutch texts: Ja, Nee and OK on the message boxes
  libexiv2-dev                            # embedded JPEG previews
  libxxhash-dev                           # checksums of verified copies
  fonts-dejavu-core fonts-liberation      # a sans-serif that fits the window's fixed label widths
  fonts-dejavu-extra                      # DejaVu Sans Bold Oblique, START's lettering
)
# What the tests need on top: `test` and `sanitize` install both lists.
test_packages=(
  libgtest-dev                            # unit tests
  xvfb xauth xdotool x11-utils imagemagick  # end-to-end tests under a real X server
  python3 python3-pyatspi at-spi2-core dbus-x11  # screen-reader tests
  python3-xlib                            # the window's answer to the desktop's ping (bench)
  desktop-file-utils dpkg-dev file        # installation and package tests
  lintian appstream                       # the package and its metadata as Debian checks them
  strace exfatprogs exfat-fuse util-linux rsync  # fault injection, exFAT over FUSE, benchmarks
  libfuse3-dev fuse3                      # power cuts: a file system that keeps only what was flushed
)

# What the Windows build needs: `windows` installs this list only.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix ninja-build cmake pkg-config  # cross toolchain
  qt6-base-dev qt6-base-dev-tools         # the host's moc, rcc and uic for the Windows Qt
  qt6-translations-l10n                   # Qt's Dutch texts, shipped beside the exe
  fonts-liberation2 fonts-dejavu-core     # the fonts the layout was drawn for, shipped too
  librsvg2-bin imagemagick                # the exe's icon, drawn from the SVG
  wine wine64 xvfb xauth xdotool x11-utils  # the tests and the real exe under Wine
  nsis zip xz-utils                       # the installer and the zip
)

install_missing() {  # install_missing PACKAGE...
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "These packages are missing; install them as root, then run $0 again:" >&2
      echo "  apt-get install ${missing[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

werror=(-DZANDREL_WERROR="${ZANDREL_WERROR:-OFF}")

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${werror[@]}" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" ${target:+--target "$target"}
}

case "${1:-}" in
  start)
    install_missing "${run_packages[@]}"
    target=zandrel build build -DBUILD_TESTING=OFF
    exec ./build/zandrel ;;
  test)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    build build -DBUILD_TESTING=ON
    ctest --test-dir build --output-on-failure ;;
  packages)  # what `test` installs, and nothing more: CI readies a fresh system with it
    install_missing "${run_packages[@]}" "${test_packages[@]}" ;;
  sanitize)
    install_missing "${run_packages[@]}" "${test_packages[@]}"
    build build-asan -DZANDREL_SANITIZE=ON
    # The package test checks files and metadata, not memory: the normal build runs it.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -E '^install$' ;;
  windows)
    install_missing "${windows_packages[@]}"
    # The cross prefix (Qt, Exiv2, GoogleTest for mingw), unpacked once into the build folder.
    sdk_archive=${ZANDREL_WINDOWS_SDK:-../shared/third-party/mingw-qt6.4.2-exiv2-0.28.5-gtest.tar.xz}
    mkdir -p build-windows
    if [ -d "$sdk_archive" ]; then
      sdk=$(cd "$sdk_archive" && pwd)
    else
      [ -f "$sdk_archive" ] || { echo "No Windows prefix at $sdk_archive (set ZANDREL_WINDOWS_SDK)" >&2; exit 1; }
      stamp="$(stat -c '%s %Y' "$sdk_archive") $(readlink -f "$sdk_archive")"
      if [ "$(cat build-windows/sdk/.unpacked 2>/dev/null)" != "$stamp" ]; then
        rm -rf build-windows/sdk && mkdir -p build-windows/sdk
        tar -xJf "$sdk_archive" -C build-windows/sdk
        echo "$stamp" > build-windows/sdk/.unpacked
      fi
      sdk=$(cd build-windows/sdk/*/ && pwd)
    fi
    cmake -G Ninja -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$sdk/scripts/mingw-w64-x86_64.cmake" \
      -DCMAKE_PREFIX_PATH="$sdk" -DCMAKE_BUILD_TYPE=Release "${werror[@]}" >/dev/null
    cmake --build build-windows -j"$(nproc)"
    (cd build-windows && cpack -G "ZIP;NSIS" --config CPackConfig.cmake >/dev/null)
    # Wine with a prefix of its own, and an X server when there is no display.
    export WINEPREFIX=$PWD/build-windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ -z "${DISPLAY:-}" ]; then
      Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>build-windows/xvfb-display 2>/dev/null &
      xvfb_pid=$!
      trap 'kill "$xvfb_pid" 2>/dev/null' EXIT
      for _ in $(seq 100); do [ -s build-windows/xvfb-display ] && break; sleep 0.1; done
      export DISPLAY=":$(head -n1 build-windows/xvfb-display)"
    fi
    [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
    ctest --test-dir build-windows --output-on-failure ;;
  *)
    echo "usage: $0 start|test|sanitize|windows|packages" >&2
    exit 2 ;;
esac
