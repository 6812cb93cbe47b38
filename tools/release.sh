#!/usr/bin/env bash
# Builds the two zips a technician downloads, from the committed tree:
#   tools/release.sh                 build/release/locstr-<version>-win32.zip
#                                    build/release/locstr-<version>-win64.zip
#   tools/release.sh --allow-dirty   the same with uncommitted changes (to try it out)
# Fresh Release builds of the windows32 and windows presets in
# build/release-<preset>, without tests, made reproducible: source paths
# mapped to ".", no link timestamp, executables stripped (tools/release-zip.py
# checks both), every zip entry dated with the commit's time and sorted, so
# one commit gives the same bytes. Each zip holds every program the build ships
# (LOCSTR_PROGRAMS, from CMakeLists.txt), KALDUR.HLP, README.txt, LICENSE.
# The version is the CMake project version (CMakeLists.txt).
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

allow_dirty=0
case "${1:-}" in
  "") ;;
  --allow-dirty) allow_dirty=1 ;;
  *) locstr_die "usage: tools/release.sh [--allow-dirty]" ;;
esac

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 python3 git)
locstr_install_missing release "${packages[@]}"

# The zip's date: SOURCE_DATE_EPOCH when given, else the commit's.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  if [ "$allow_dirty" -eq 0 ] && [ -n "$(git status --porcelain)" ]; then
    locstr_die "release: the work tree has uncommitted changes (git status); commit them, or pass --allow-dirty to try anyway"
  fi
  epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
else
  [ -n "${SOURCE_DATE_EPOCH:-}" ] ||
    locstr_die "release: not a git checkout: set SOURCE_DATE_EPOCH to date the zip"
  epoch=$SOURCE_DATE_EPOCH
fi

map="-ffile-prefix-map=$root=."
# One zip per build: a fresh Release build of the preset in
# build/release-<preset>, without tests or the driver, its executables
# checked, then zipped.
release_zip() {
  local preset=$1 arch=$2 build=build/release-$1 version zip program entries=()
  rm -rf "$build"
  echo "=== release: configure $build ($preset preset)"
  quiet cmake --preset "$preset" -B "$build" -DLOCSTR_TESTS=OFF -DLOCSTR_DRIVER=OFF -DLOCSTR_E2E_BUILD= \
    -DCMAKE_C_FLAGS="$map" -DCMAKE_CXX_FLAGS="$map" \
    -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--no-insert-timestamp"
  echo "=== release: build $build"
  cmake --build "$build" -j "$(nproc)"

  version=$(cat "$build/version.txt")
  # shellcheck source=/dev/null
  . "$build/locstr-paths.sh"
  for program in "${LOCSTR_PROGRAMS[@]}"; do
    [ -f "$program" ] || locstr_die "release: $program was not built"
    ! grep -qF "$root" "$program" || locstr_die "release: $program holds the build path $root"
    entries+=("${program##*/}=$program")
  done
  if [ "$arch" = win32 ]; then
    python3 tools/check-imports.py tools/win9x-exports "${LOCSTR_PROGRAMS[@]}" ||
      locstr_die "release: the 32-bit executables import functions that Windows 95 OSR2 lacks (above)"
  fi
  [ -f "$HELP_FILE" ] ||
    locstr_die "release: KALDUR.HLP was not built (expected $HELP_FILE, which the build makes with tools/make-help.py)"

  zip="$root/build/release/locstr-$version-$arch.zip"
  mkdir -p "$(dirname "$zip")"
  rm -f "$zip"
  python3 tools/release-zip.py "$zip" "$epoch" "${entries[@]}" "KALDUR.HLP=$HELP_FILE" \
    "README.txt=$build/README.txt" "LICENSE=$build/LICENSE"
  zips+=("$zip")
}

zips=()
release_zip windows32 win32
release_zip windows win64
for zip in "${zips[@]}"; do
  echo "release: $zip"
  echo "SHA-256: $(sha256sum "$zip" | cut -d' ' -f1)"
done
