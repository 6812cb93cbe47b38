#!/usr/bin/env bash
# Runs the real locstr.exe, built for users, on the virtual interface driver:
# builds the windows preset's locstr.exe, vnic.sys and vnet.exe, installs and
# starts the driver in its own Wine prefix, starts vnet.exe (the virtual
# network with its panel) and then locstr.exe. Needs a display (DISPLAY).
# Closing locstr.exe ends vnet.exe too; tools/vnic-remove.sh removes it all.
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build="${LOCSTR_WINDOWS_BUILD:-$root/build/windows}"
if [ -z "${DISPLAY:-}" ]; then
  echo "vnic-run: needs a display; headless, tests/e2e/benchmark.sh and ctest -R e2e use it" >&2
  exit 1
fi
cd "$root"
quiet bash tools/setup.sh
[ -f "$build/CMakeCache.txt" ] || quiet cmake --preset windows -B "$build"
cmake --build "$build" -j "$(nproc)" --target vnic vnet locstr
VNIC_GRAPHICS=x11 bash tools/vnic-install.sh "$build/driver/vnic.sys"
. tools/vnic-env.sh

commands=$(mktemp -u)
mkfifo "$commands"
"$WINE" "$build/virtualnet/vnet.exe" <"$commands" >/dev/null 2>&1 &
exec 3>"$commands" # vnet.exe reads its commands from here; "quit" ends it
rm -f "$commands"
echo "vnic-run: vnet.exe is up; starting locstr.exe (pick \"$VNIC_INTERFACE_NAME\", tick Open)"
# Its exit status is not this script's concern: the user closed it.
"$WINE" "$build/ui/locstr.exe" 2>/dev/null || true
echo quit >&3
exec 3>&-
wait
