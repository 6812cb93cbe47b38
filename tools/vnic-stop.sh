#!/usr/bin/env bash
# Stops the vnic service (programs that have a device open see it vanish).
# Usage: tools/vnic-stop.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
"$WINE" sc stop "$VNIC_SERVICE" >/dev/null 2>&1 || true
