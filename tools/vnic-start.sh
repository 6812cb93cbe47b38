#!/usr/bin/env bash
# Starts the driver's prefix (persistent wineserver) and the vnic service if
# it is not running yet. Usage: tools/vnic-start.sh
. "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/vnic-env.sh"
# -p fails (status 2) when a server runs already; it is then used as it is.
"$WINESERVER" -p 2>/dev/null || true
started=""
for _ in $(seq 1 50); do
  if ! query=$("$WINE" sc query "$VNIC_SERVICE" 2>&1); then
    printf '%s\n' "$query" >&2
    locstr_wine32_hint
    locstr_die "vnic-start: \"sc query vnic\" failed in $WINEPREFIX (not installed? tools/vnic-install.sh installs it)"
  fi
  state=$(printf '%s\n' "$query" | tr -d '\r' | awk '/STATE/ {print $4}')
  [ "$state" = RUNNING ] && exit 0
  if [ "$state" = STOPPED ]; then
    # sc start fails while the service is still starting; the loop asks again.
    started=$("$WINE" sc start "$VNIC_SERVICE" 2>&1) || true
  fi
  sleep 0.1
done
echo "vnic-start: the vnic service does not run (state ${state:-unknown} after 5 s)" >&2
[ -z "$started" ] || printf 'the last "sc start vnic" said:\n%s\n' "$started" >&2
locstr_wine32_hint
exit 1
