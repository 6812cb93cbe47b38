#!/usr/bin/env bash
# Builds the two zips a technician downloads, from the committed tree:
#   tools/release.sh                 build/release/locstr-<version>-win32.zip
#                                    build/release/locstr-<version>-win64.zip
#   tools/release.sh --allow-dirty   the same with uncommitted changes (to try it out)
# Fresh Release builds of the windows32 and windows presets in
# build/release-<preset>, without tests, made reproducible: source paths
# mapped to ".", no link timestamp, executables stripped. tools/release-zip.py
# dates every entry with the commit's time and sorts them, so one commit gives
# the same bytes.
# The version is the CMake project version (CMakeLists.txt).
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
cd "$root"

fail() {
  echo "release: $*" >&2
  exit 1
}

allow_dirty=0
case "${1:-}" in
  "") ;;
  --allow-dirty) allow_dirty=1 ;;
  *) echo "usage: tools/release.sh [--allow-dirty]" >&2; exit 2 ;;
esac

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 python3 git)
locstr_install_missing release "${packages[@]}"

# The zip's date: SOURCE_DATE_EPOCH when given, else the commit's.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  if [ "$allow_dirty" -eq 0 ] && [ -n "$(git status --porcelain)" ]; then
    fail "the work tree has uncommitted changes (git status); commit them, or pass --allow-dirty to try anyway"
  fi
  epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
else
  [ -n "${SOURCE_DATE_EPOCH:-}" ] || fail "not a git checkout: set SOURCE_DATE_EPOCH to date the zip"
  epoch=$SOURCE_DATE_EPOCH
fi

map="-ffile-prefix-map=$root=."
# One zip per build: a fresh Release build of the preset in
# build/release-<preset>, without tests or the driver, its executables
# checked, then zipped.
release_zip() {
  local preset=$1 arch=$2 build=build/release-$1 f version zip
  rm -rf "$build"
  echo "=== release: configure $build ($preset preset)"
  quiet cmake --preset "$preset" -B "$build" -DLOCSTR_TESTS=OFF -DLOCSTR_DRIVER=OFF \
    -DCMAKE_C_FLAGS="$map" -DCMAKE_CXX_FLAGS="$map" \
    -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--no-insert-timestamp"
  echo "=== release: build $build"
  cmake --build "$build" -j "$(nproc)"

  version=$(cat "$build/version.txt")
  local ui="$build/ui"
  for f in locstr.exe locstr-demo.exe; do
    [ -f "$ui/$f" ] || fail "$f was not built (expected $ui/$f)"
    ! grep -qF "$root" "$ui/$f" || fail "$ui/$f holds the build path $root"
    # Stripped (no COFF symbol table) and no link time in the PE header.
    python3 - "$ui/$f" <<'EOF' || fail "$ui/$f has a link timestamp or symbols"
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0"
stamp, symbols, count = struct.unpack_from("<III", data, pe + 8)
sys.exit(0 if stamp == 0 and symbols == 0 and count == 0 else 1)
EOF
  done
  if [ "$arch" = win32 ]; then
    python3 tools/check-imports.py tools/win9x-exports "$ui/locstr.exe" "$ui/locstr-demo.exe" ||
      fail "the 32-bit executables import functions that Windows 95 OSR2 lacks (above)"
  fi
  [ -f "$ui/KALDUR.HLP" ] ||
    fail "KALDUR.HLP was not built (expected $ui/KALDUR.HLP, which the build makes with tools/make-help.py)"

  zip="$root/build/release/locstr-$version-$arch.zip"
  mkdir -p "$(dirname "$zip")"
  rm -f "$zip"
  python3 tools/release-zip.py "$zip" "$epoch" \
    "locstr.exe=$ui/locstr.exe" "locstr-demo.exe=$ui/locstr-demo.exe" \
    "KALDUR.HLP=$ui/KALDUR.HLP" "README.txt=$build/README.txt" "LICENSE=$build/LICENSE"
  zips+=("$zip")
}

zips=()
release_zip windows32 win32
release_zip windows win64
for zip in "${zips[@]}"; do
  echo "release: $zip"
  echo "SHA-256: $(sha256sum "$zip" | cut -d' ' -f1)"
done
