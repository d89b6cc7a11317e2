#!/usr/bin/env bash
# Zandrel installed as a desktop application: the menu entry, the icons, the
# Debian package.   bash tests/e2e/install.sh BUILD-DIR
# Needs desktop-file-utils and dpkg-dev (installed by dev.sh).
set -uo pipefail

build=$(cd "${1:?usage: install.sh BUILD-DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/zandrel-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

sizes=(16 32 48 64 128 256)
wanted_files=(./usr/bin/zandrel ./usr/share/applications/zandrel.desktop)
for s in "${sizes[@]}"; do wanted_files+=("./usr/share/icons/hicolor/${s}x${s}/apps/zandrel.png"); done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

passed=0 failed=0
check() {  # check TITLE COMMAND...: one line per check
  local title=$1; shift
  if "$@" >"$work/check.log" 2>&1; then
    echo "PASS $title"; passed=$((passed + 1))
  else
    echo "FAIL $title"; sed 's/^/     /' "$work/check.log" | head -20; failed=$((failed + 1))
  fi
}

entry_is_right() {  # the fields a desktop shows and starts from
  local file=$1
  desktop-file-validate "$file" || return 1
  grep -qx 'Type=Application' "$file" && grep -qx 'Exec=zandrel' "$file" &&
    grep -qx 'Icon=zandrel' "$file" && grep -qx 'Name=Zandrel' "$file" &&
    grep -qx "Comment=Foto's van de camera naar de fotofolder kopiëren, in een subfolder per maand" "$file" &&
    grep -Eqx 'Categories=([^;]*;)*Graphics;([^;]*;)*' "$file" &&
    grep -Eqx 'Categories=([^;]*;)*Photography;([^;]*;)*' "$file" || { echo "fields of $file:"; cat "$file"; return 1; }
}

png_size() {  # width and height from a PNG's header
  local bytes
  bytes=($(od -An -tu1 -j16 -N8 "$1"))
  echo $(( (bytes[2] << 8) | bytes[3] ))x$(( (bytes[6] << 8) | bytes[7] ))
}

installed_in_place() {
  local root=$1 file
  for file in "${wanted_files[@]}"; do
    [ -f "$root/$file" ] || { echo "missing $file"; return 1; }
  done
  [ -x "$root/usr/bin/zandrel" ] || { echo "zandrel is not executable"; return 1; }
  for s in "${sizes[@]}"; do
    file="$root/usr/share/icons/hicolor/${s}x${s}/apps/zandrel.png"
    [ "$(head -c8 "$file" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || { echo "$file is no PNG"; return 1; }
    [ "$(png_size "$file")" = "${s}x${s}" ] || { echo "$file is $(png_size "$file")"; return 1; }
  done
  entry_is_right "$root/usr/share/applications/zandrel.desktop"
}

install_into_destdir() {
  DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; return 1; }
  installed_in_place "$work/root"
}

make_package() {
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") >"$work/cpack.log" 2>&1 ||
    { tail -20 "$work/cpack.log"; return 1; }
  deb=$(ls "$work"/package/zandrel_"$version"_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || { echo "no zandrel_${version}_*.deb in"; ls "$work/package"; return 1; }
}

package_fields_are_right() {
  [ -n "${deb:-}" ] || { echo "no package was made"; return 1; }
  [ "$(dpkg-deb -f "$deb" Package)" = zandrel ] || { dpkg-deb -f "$deb"; return 1; }
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { dpkg-deb -f "$deb"; return 1; }
  local depends dependency
  depends=$(dpkg-deb -f "$deb" Depends)
  for dependency in libqt6widgets6 libqt6gui6 libexiv2-27 libxxhash0 xdg-utils; do
    [[ ",$depends," == *[\ ,]$dependency[\ ,\(]* ]] || { echo "Depends lacks $dependency: $depends"; return 1; }
  done
}

package_contents_are_right() {
  [ -n "${deb:-}" ] || { echo "no package was made"; return 1; }
  local listed
  listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
  diff <(printf '%s\n' "${wanted_files[@]}" | sort) <(echo "$listed") || return 1
  mkdir -p "$work/unpacked" && dpkg-deb -x "$deb" "$work/unpacked" && installed_in_place "$work/unpacked"
}

package_installs_here() {  # apt resolves its dependencies, without installing anything
  [ -n "${deb:-}" ] || { echo "no package was made"; return 1; }
  apt-get install --simulate --no-download "$deb" >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; return 1; }
  grep -q '^Inst zandrel ' "$work/apt.log" || { tail -20 "$work/apt.log"; return 1; }
}

check "the desktop entry in the sources is valid and Dutch" entry_is_right "$repo/src/app/resources/zandrel.desktop"
check "cmake --install puts the binary, the entry and the icons in their places" install_into_destdir
check "cpack -G DEB makes zandrel_${version}_*.deb" make_package
check "the package is named zandrel and declares its runtime dependencies" package_fields_are_right
check "the package holds exactly the binary, the entry and the icons" package_contents_are_right
check "apt-get would install the package on this system" package_installs_here

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
