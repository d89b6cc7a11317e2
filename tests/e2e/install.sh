#!/usr/bin/env bash
# Zandrel installed as a desktop application: the menu entry, the icons, the
# Debian package.   bash tests/e2e/install.sh BUILD-DIR
# Needs desktop-file-utils, dpkg-dev, lintian and appstream (installed by dev.sh).
set -uo pipefail

build=$(cd "${1:?usage: install.sh BUILD-DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/zandrel-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

id=org.example.zandrel
sizes=(16 32 48 64 128 256)
wanted_files=(./usr/bin/zandrel ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/$id.svg
  ./usr/share/man/man1/zandrel.1.gz ./usr/share/man/nl/man1/zandrel.1.gz
  ./usr/share/doc/zandrel/copyright ./usr/share/doc/zandrel/changelog.gz)
for s in "${sizes[@]}"; do wanted_files+=("./usr/share/icons/hicolor/${s}x${s}/apps/$id.png"); done
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
    grep -qx "Icon=$id" "$file" && grep -qx 'Name=Zandrel' "$file" &&
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
    file="$root/usr/share/icons/hicolor/${s}x${s}/apps/$id.png"
    [ "$(head -c8 "$file" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || { echo "$file is no PNG"; return 1; }
    [ "$(png_size "$file")" = "${s}x${s}" ] || { echo "$file is $(png_size "$file")"; return 1; }
  done
  entry_is_right "$root/usr/share/applications/$id.desktop" &&
    metadata_is_right "$root/usr/share/metainfo/$id.metainfo.xml" &&
    manual_is_right "$root/usr/share/man/man1/zandrel.1.gz" "EXIT STATUS" &&
    manual_is_right "$root/usr/share/man/nl/man1/zandrel.1.gz" "AFSLUITSTATUS"
}

metadata_is_right() {  # AppStream's own check, offline, and the id the entry and icons share
  local file=$1
  appstreamcli validate --no-net --pedantic "$file" || return 1
  grep -q "<id>$id</id>" "$file" && grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$file" &&
    grep -q '<release version="'"$version"'"' "$file" && grep -q '<summary xml:lang="nl">' "$file" ||
    { echo "fields of $file:"; cat "$file"; return 1; }
}

manual_is_right() {  # man renders it without a warning, with the settings file and the exit status
  local file=$1 section=$2 text
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>"$work/man.err") || return 1
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; return 1; }
  grep -q "registry.reg" <<<"$text" && grep -q "$section" <<<"$text" || { echo "$file:"; echo "$text"; return 1; }
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
  for dependency in libqt6widgets6 libqt6gui6 libexiv2-2[78] libxxhash0 xdg-utils fonts-liberation fonts-dejavu-extra qt6-translations-l10n; do
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

# _FORTIFY_SOURCE leaves a trace only where a call's buffer size is known when compiling,
# which no call here has (lintian notes that only as information); the flag itself is
# set in cmake/Flags.cmake.
binary_is_hardened_and_stripped() {  # the flags Debian builds with, read off the packaged binary
  local bin=$work/unpacked/usr/bin/zandrel header segments dynamic symbols sections
  [ -f "$bin" ] || { echo "no unpacked binary"; return 1; }
  header=$(readelf -h "$bin") segments=$(readelf -lW "$bin") dynamic=$(readelf -dW "$bin")
  symbols=$(readelf --dyn-syms -W "$bin") sections=$(readelf -SW "$bin")
  grep -q 'Type:.*DYN' <<<"$header" || { echo "not a position-independent executable"; return 1; }
  grep -q GNU_RELRO <<<"$segments" || { echo "no read-only relocations (-z relro)"; return 1; }
  grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || { echo "symbols not bound at start (-z now)"; return 1; }
  grep -q __stack_chk_fail <<<"$symbols" || { echo "no stack protector"; return 1; }
  ! grep -Eq '\.(symtab|debug_info)' <<<"$sections" || { echo "not stripped"; return 1; }
}

lintian_finds_nothing() {  # no error and no warning, as Debian's archive would check it
  [ -n "${deb:-}" ] || { echo "no package was made"; return 1; }
  lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
  local status=$?
  cat "$work/lintian.log"
  [ $status -eq 0 ] && ! grep -Eq '^[EW]: ' "$work/lintian.log"
}

package_installs_here() {  # apt resolves its dependencies, without installing anything
  [ -n "${deb:-}" ] || { echo "no package was made"; return 1; }
  apt-get install --simulate --no-download "$deb" >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; return 1; }
  grep -q '^Inst zandrel ' "$work/apt.log" || { tail -20 "$work/apt.log"; return 1; }
}

check "the desktop entry in the sources is valid and Dutch" entry_is_right "$repo/src/app/resources/$id.desktop"
check "cmake --install puts the binary, the entry and the icons in their places" install_into_destdir
check "cpack -G DEB makes zandrel_${version}_*.deb" make_package
check "the package is named zandrel and declares its runtime dependencies" package_fields_are_right
check "the package holds exactly the binary, entry, metadata, icons, manuals, copyright and changelog" package_contents_are_right
check "the binary is hardened as Debian builds and stripped" binary_is_hardened_and_stripped
check "lintian finds no error and no warning in the package" lintian_finds_nothing
check "apt-get would install the package on this system" package_installs_here

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
