#!/usr/bin/env bash
# The Windows build as a person meets it, under Wine and a private Xvfb:
#   bash tests/e2e/wine.sh PATH-TO-zandrel.exe BUILD-DIR
# 1. the zip, unpacked, runs on its own DLLs: the window shows, the first start
#    writes the default settings under HKCU\SOFTWARE\Zandrel;
# 2. with the folders set in the registry, a click on START moves the photos into
#    the dated subfolder and empties the camera;
# 3. the installer installs silently for this user and the installed program starts.
# Screenshots go to BUILD-DIR/e2e-screenshots/. Uses WINEPREFIX when set (dev.sh
# gives one under the build folder), else one of its own under BUILD-DIR.
# Needs: wine xvfb xdotool x11-utils imagemagick unzip python3.
set -uo pipefail

exe=$(readlink -f "${1:?usage: wine.sh PATH-TO-zandrel.exe BUILD-DIR}")
build=$(readlink -f "${2:?usage: wine.sh PATH-TO-zandrel.exe BUILD-DIR}")
here=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^project(zandrel VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
zip=$build/Zandrel-$version-win64.zip
installer=$build/Zandrel-$version-win64.exe
shots=$build/e2e-screenshots
key='HKCU\SOFTWARE\Zandrel'

passed=0 failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit $?; }
quiet() { "$@" >/dev/null 2>&1; }

missing=()
for tool in wine wineserver Xvfb xdotool xwininfo import compare unzip python3; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
for file in "$exe" "$zip" "$installer"; do [ -f "$file" ] || missing+=("$file"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "wine e2e: missing ${missing[*]} (./dev.sh windows makes the zip and the installer)"
  failed=1; finish
fi

work=$(mktemp -d /tmp/zandrel-wine-e2e.XXXXXX)
xvfb_pid= app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export WINEPREFIX=${WINEPREFIX:-$build/wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH  # the zip and the installed program must bring every DLL they need
mkdir -p "$shots"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; failed=1; finish; }
export DISPLAY=":$(head -n1 "$work/display")"
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }

winpath() { echo "Z:$(readlink -f "$1" | tr / '\\')"; }
reg_value() {  # reg_value NAME: the string under the key, or nothing
  wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}

# Starts a zandrel.exe and waits for its window; sets window to its X id.
window=
start_app() {  # start_app EXE
  app_pid= window=
  wine "$1" >"$work/app.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Zandrel$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] && sleep 1  # the first paint
  [ -n "$window" ]
}
stop_app() {  # the wine server writes the registry to disk when it ends
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  app_pid=
  wineserver -w
}
shot() { import -window "$window" "$shots/$1.png" 2>/dev/null; }
geometry() { xwininfo -id "$window" | sed -n "s/^ *$1: *//p"; }

# ---- 1. the zip on its own, the first start ----
wine reg delete "$key" /f >/dev/null 2>&1
wine reg delete 'HKLM\SOFTWARE\Zandrel' /f >/dev/null 2>&1
unzip -q "$zip" -d "$work/zip"
unpacked=$(dirname "$(find "$work/zip" -name zandrel.exe | head -n1)")
if ! start_app "$unpacked/zandrel.exe"; then
  fail "the unpacked zip's zandrel.exe shows its window"; cat "$work/app.log"; finish
fi
pass "the unpacked zip's zandrel.exe shows its window"
shot first-start
check "the window's client area is 575 x 358" [ "$(geometry Width)x$(geometry Height)" = 575x358 ]
# Drawn like the Linux window: the same picture within what fonts and themes change.
difference=$(compare -metric RMSE "$shots/first-start.png" "$here/../../docs/screenshot.png" null: 2>&1 |
             sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
echo "difference from docs/screenshot.png (RMSE, 0..1): ${difference:-?}"
check "the window looks like the Linux one (RMSE < 0.2)" \
  python3 -c "import sys; sys.exit(0 if float('${difference:-1}') < 0.2 else 1)"
stop_app
for name in cpath fpath sOpen; do
  check "the first start wrote $name under $key" [ -n "$(reg_value "$name")" ]
done

# ---- 2. START moves the photos into the dated subfolder ----
camera=$work/camera photos=$work/foto\'s
mkdir -p "$camera" "$photos"
for n in 1 2 3; do convert -size 64x48 "xc:rgb($((n * 60)),90,40)" "$camera/IMG_000$n.JPG"; done
wine reg add "$key" /v cpath /t REG_SZ /d "$(winpath "$camera")" /f >/dev/null
wine reg add "$key" /v fpath /t REG_SZ /d "$(winpath "$photos")" /f >/dev/null
wine reg add "$key" /v sOpen /t REG_SZ /d 0 /f >/dev/null
dated=$(cd "$here" && python3 -c 'import datetime, layout; print(layout.dated_folder(datetime.date.today()))')
read -r start_x start_y < <(cd "$here" && python3 -c 'import layout; print(*layout.centre("start"))')
if start_app "$unpacked/zandrel.exe"; then
  shot ready
  origin_x=$(geometry 'Absolute upper-left X') origin_y=$(geometry 'Absolute upper-left Y')
  xdotool mousemove --sync $((origin_x + start_x)) $((origin_y + start_y)) click 1
  for _ in $(seq 300); do
    [ -z "$(ls -A "$camera")" ] && [ "$(ls "$photos/$dated" 2>/dev/null | wc -l)" -eq 3 ] && break
    sleep 0.1
  done
  sleep 1
  shot after-run
  check "START moved the three photos into '$dated'" \
    [ "$(ls "$photos/$dated" 2>/dev/null | tr '\n' ' ')" = "IMG_0001.JPG IMG_0002.JPG IMG_0003.JPG " ]
  check "START emptied the camera" [ -z "$(ls -A "$camera")" ]
  check "the copies are the camera's bytes" cmp -s "$photos/$dated/IMG_0002.JPG" <(convert -size 64x48 "xc:rgb(120,90,40)" jpg:-)
  stop_app
else
  fail "the window shows again with the folders from the registry"
fi

# ---- 3. the installer, silent, for this user ----
wine "$installer" /S >"$work/install.log" 2>&1
wineserver -w
user_dir=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$user_dir\\Programs\\Zandrel\\zandrel.exe" 2>/dev/null)
check "the installer put zandrel.exe under %LOCALAPPDATA%\\Programs\\Zandrel" [ -f "$installed" ]
start_menu=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
check "the installer made a Start-menu entry" bash -c "find \"$start_menu\" -iname 'Zandrel*.lnk' | grep -q ."
check "the uninstall entry is the user's" quiet wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zandrel'
if [ -f "$installed" ] && start_app "$installed"; then
  pass "the installed program starts"
  shot installed
  stop_app
else
  fail "the installed program starts"
fi
uninstaller=$(dirname "$installed")/Uninstall.exe
if [ -f "$uninstaller" ]; then
  wine "$uninstaller" /S >/dev/null 2>&1
  wineserver -w
  sleep 2  # the uninstaller copies itself away and finishes from there
  check "the uninstaller removes the program" [ ! -f "$installed" ]
else
  fail "the installer left an uninstaller"
fi

finish
