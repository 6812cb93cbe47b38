#!/usr/bin/env bash
# Removes what vnic-install.sh put in the driver's prefix and ends its
# wineserver. The prefix itself stays for a fast next install; delete
# ~/.cache/locstr/driver-prefix to remove it too. Usage: tools/vnic-remove.sh
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
[ -f "$WINEPREFIX/system.reg" ] || exit 0
# Each step fails when what it removes is not there (never installed, or
# removed already), which is the state wanted.
"$WINE" sc stop "$VNIC_SERVICE" >/dev/null 2>&1 || true
"$WINE" sc delete "$VNIC_SERVICE" >/dev/null 2>&1 || true
"$WINE" reg delete "$VNIC_INTERFACES_KEY\\$VNIC_INTERFACE_NAME" /f >/dev/null 2>&1 || true
rm -f "$WINEPREFIX/drive_c/windows/system32/drivers/vnic.sys"
"$WINESERVER" -k 2>/dev/null || true
quiet "$WINESERVER" -w
