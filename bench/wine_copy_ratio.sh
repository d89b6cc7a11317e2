#!/usr/bin/env bash
# The copy run of the Windows build under Wine against the Linux build's, on the
# same page-cached sets: 200 files of 8 MB and 5,000 of 100 KB. The contenders
# alternate, who goes first alternating too; each prints the seconds of its run.
#   bash bench/wine_copy_ratio.sh LINUX-BUILD WINDOWS-BUILD [ROUNDS]
# Needs copy_run_once built in both (and WINEPREFIX, DISPLAY as for the tests).
set -euo pipefail

linux=$(readlink -f "$1")/bench/copy_run_once
windows=$(readlink -f "$2")/bench/copy_run_once.exe
rounds=${3:-5}
# The cross prefix's wine-run.sh, beside the toolchain file the build was made with.
emulator=$(dirname "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$2/CMakeCache.txt")")/wine-run.sh
work=$(mktemp -d /tmp/zandrel-wine-ratio.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
run_linux() { "$linux" "$1" "$2"; }
run_windows() { "$emulator" "$windows" "$(winpath "$1")" "$(winpath "$2")" | tr -d '\r'; }
stats() {  # median, lowest and highest of the numbers on stdin
  sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
                   printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

measure() {  # measure NAME COUNT KILOBYTES
  local camera=$work/$1 photos=$work/photos-$1
  mkdir -p "$camera" "$photos"
  for i in $(seq -w 1 "$2"); do head -c "$(($3 * 1024))" /dev/urandom > "$camera/IMG_$i.JPG"; done
  cat "$camera"/* > /dev/null  # page-cached for both
  : > "$work/linux" ; : > "$work/windows"
  for round in $(seq "$rounds"); do
    local order=(linux windows)
    [ $((round % 2)) -eq 0 ] && order=(windows linux)
    for who in "${order[@]}"; do
      rm -rf "$photos/run"
      "run_$who" "$camera" "$photos" | tail -n1 >> "$work/$who"
    done
  done
  read -r lm ll lh < <(stats < "$work/linux")
  read -r wm wl wh < <(stats < "$work/windows")
  printf '%s: Linux %ss (%s-%s), Wine %ss (%s-%s), Wine/Linux %.2f over %d rounds\n' \
    "$1" "$lm" "$ll" "$lh" "$wm" "$wl" "$wh" "$(echo "$wm / $lm" | bc -l)" "$rounds"
  rm -rf "$camera" "$photos"
}

measure "200x8MB" 200 8192
measure "5000x100KB" 5000 100
