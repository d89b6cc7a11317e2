#!/usr/bin/env bash
# The real zandrel binary under its own Xvfb, driven as a person would.
#   bash tests/e2e/run.sh PATH-TO-ZANDREL [SCENARIO...]
# Screenshots go to e2e-screenshots/ beside the binary; with ZANDREL_UPDATE_DOCS=1
# the main ones are copied to docs/ for the README. Needs (installed by dev.sh): xvfb xdotool x11-utils imagemagick
# python3-pyatspi at-spi2-core dbus strace.
set -uo pipefail

binary=$(readlink -f "${1:?usage: run.sh PATH-TO-ZANDREL [SCENARIO...]}")
shift
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
python=/usr/bin/python3  # Debian's, which has pyatspi

missing=()
for tool in Xvfb xdotool xwininfo xprop /usr/bin/import /usr/bin/convert dbus-daemon \
            /usr/libexec/at-spi-bus-launcher strace "$python"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
"$python" -c 'import pyatspi' 2>/dev/null || missing+=(pyatspi)
[ -x "$binary" ] || missing+=("$binary")
if [ ${#missing[@]} -gt 0 ]; then
  echo "e2e: missing ${missing[*]}"
  echo "0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d /tmp/zandrel-e2e.XXXXXX)
mkdir -p "$work/bin" "$work/runtime" "$work/pids"
chmod 700 "$work/runtime"
xvfb_pid= bus_pid=

# Ends what this script started: the programs, the processes the session bus
# started for it (the accessibility bus), the bus and the X server.
descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    descendants "$child"
    echo "$child"
  done
}
cleanup() {
  local pid
  for pid in $(ls "$work/pids" 2>/dev/null); do
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$binary" ] && kill "$pid"
  done
  if [ -n "$bus_pid" ]; then
    for pid in $(descendants "$bus_pid"); do kill "$pid" 2>/dev/null; done
    kill "$bus_pid" 2>/dev/null
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The file manager, as far as the tests are concerned: it writes down what it was given.
cat > "$work/bin/xdg-open" <<'EOF'
#!/bin/sh
printf '%s\0' "$@" > "$ZANDREL_E2E_LAUNCHES/$(date +%s%N)-$$"
EOF
chmod +x "$work/bin/xdg-open"

# An X server on a display number it picks itself.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  echo "e2e: Xvfb did not start:"; cat "$work/xvfb.log"
  echo "0 passed, 1 failed"; exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# A session bus of our own; the accessibility bus is started on it when first asked for.
dbus-daemon --session --nofork --nopidfile --print-address=1 >"$work/bus" 2>"$work/bus.log" &
bus_pid=$!
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")

export PATH="$work/bin:$PATH"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export ZANDREL_E2E_PIDS="$work/pids"
# The README's screenshots in docs/ are renewed only when asked: ZANDREL_UPDATE_DOCS=1.
if [ "${ZANDREL_UPDATE_DOCS:-0}" = 1 ]; then export ZANDREL_E2E_DOCS="$repo/docs"; else unset ZANDREL_E2E_DOCS; fi
export PYTHONDONTWRITEBYTECODE=1  # nothing of the run lands in the source tree
unset SESSION_MANAGER NO_AT_BRIDGE

shots="$(dirname "$binary")/e2e-screenshots"
"$python" "$here/scenarios.py" "$binary" "$work" "$shots" "$@"  # the trap cleans up after it
