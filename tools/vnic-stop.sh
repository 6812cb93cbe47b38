#!/usr/bin/env bash
# Stops the vnic service (programs that have a device open see it vanish).
# Usage: tools/vnic-stop.sh
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
# Fails when the service is not running (or not installed): stopped either way.
"$WINE" sc stop "$VNIC_SERVICE" >/dev/null 2>&1 || true
