#!/usr/bin/env bash
# Starts the driver's prefix (persistent wineserver) and the vnic service if
# it is not running yet. Usage: tools/vnic-start.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
"$WINESERVER" -p 2>/dev/null || true
for _ in $(seq 1 50); do
  state=$("$WINE" sc query "$VNIC_SERVICE" 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}')
  [ "$state" = RUNNING ] && exit 0
  [ "$state" = STOPPED ] && "$WINE" sc start "$VNIC_SERVICE" >/dev/null 2>&1 || true
  sleep 0.1
done
echo "vnic-start: the vnic service does not run" >&2
exit 1
