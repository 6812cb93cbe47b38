#!/usr/bin/env bash
# Installs vnic.sys in the driver's own Wine prefix as an auto-start kernel
# service, registers a matching interface under the interfaces key and starts
# the driver. Usage: tools/vnic-install.sh [path/to/vnic.sys]
# Leaves the prefix's wineserver running (persistent) with the driver loaded.
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
sys="${1:-$here/../build/windows/driver/vnic.sys}"
[ -f "$sys" ] || { echo "vnic-install: $sys not found (build the windows preset first)" >&2; exit 1; }

locstr_prepare_prefix null

# Display driver: null (windows work, nothing is drawn; the tests) unless
# VNIC_GRAPHICS=x11 asks for real windows. It is read when the desktop starts,
# so a change restarts the prefix's server.
graphics="${VNIC_GRAPHICS:-null}"
current=$("$WINE" reg query 'HKCU\Software\Wine\Drivers' /v Graphics | tr -d '\r' |
          awk '/Graphics/ {print $3}')
if [ "$current" != "$graphics" ]; then
  quiet "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d "$graphics" /f
  # -k fails when the server has ended by itself already.
  "$WINESERVER" -k 2>/dev/null || true
  quiet "$WINESERVER" -w
fi

# A persistent server keeps the driver loaded between programs. -p fails
# (status 2) when a server runs already, persistent from an earlier install.
"$WINESERVER" -p 2>/dev/null || true

target="$WINEPREFIX/drive_c/windows/system32/drivers/vnic.sys"
if ! cmp -s "$sys" "$target"; then
  # A loaded driver's image is mapped from this file: never rewrite it in
  # place. Stop the old driver and put the new file under the name (sc stop
  # fails when there is no such service yet, or it is not running).
  "$WINE" sc stop "$VNIC_SERVICE" >/dev/null 2>&1 || true
  cp "$sys" "$target.new"
  mv -f "$target.new" "$target"
fi
if ! "$WINE" sc query "$VNIC_SERVICE" >/dev/null 2>&1; then
  # A demand-start driver would go with the wineserver; an absolute image
  # path is required (sc config fails in Wine 8, so this is set at creation).
  quiet "$WINE" sc create "$VNIC_SERVICE" type= kernel start= auto binPath= "$VNIC_IMAGE"
fi
quiet "$WINE" reg add "$VNIC_INTERFACES_KEY\\$VNIC_INTERFACE_NAME" /v 'device name' /t REG_SZ \
  /d "$VNIC_DEVICE_NAME" /f
bash "$here/vnic-start.sh"
