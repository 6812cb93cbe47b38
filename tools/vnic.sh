#!/usr/bin/env bash
# The virtual interface driver vnic.sys in a Wine prefix of its own
# (~/.cache/locstr/driver-prefix, or VNIC_WINEPREFIX):
#   tools/vnic.sh install [vnic.sys]  install it as an auto-start kernel service,
#                                     register its interface and start it
#   tools/vnic.sh start|stop|remove   start it; stop it (under open handles too);
#                                     remove it all and end the prefix's wineserver
#   tools/vnic.sh exec vnic.sys PROGRAM [ARGS...]   install it, run one Windows
#                                     program there, end the prefix's wineserver
#   tools/vnic.sh run                 build and run the real locstr.exe with the
#                                     network process vnet.exe (needs a display)
# The build is the windows preset's (build/windows, or LOCSTR_WINDOWS_BUILD).
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
build="${LOCSTR_WINDOWS_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build/windows}"
export LOCSTR_WINEPREFIX="${VNIC_WINEPREFIX:-$HOME/.cache/locstr/driver-prefix}"
export WINEPREFIX=$LOCSTR_WINEPREFIX
VNIC_SERVICE=vnic
VNIC_IMAGE='C:\windows\system32\drivers\vnic.sys'
VNIC_INTERFACES_KEY='HKLM\SOFTWARE\Quorvane\DeviceDrivers'
VNIC_INTERFACE_NAME='Virtual interface card'
VNIC_DEVICE_NAME=VNIC0

usage() {
  sed -n '2,12s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

# The display driver is null (windows work, nothing is drawn: the tests)
# unless VNIC_GRAPHICS=x11 asks for real windows.
vnic_install() {
  local sys=${1:-} target current graphics="${VNIC_GRAPHICS:-null}"
  # shellcheck source=/dev/null
  [ -n "$sys" ] || { . "$build/locstr-paths.sh" && sys=$VNIC_SYS; }
  [ -f "$sys" ] || locstr_die "vnic: $sys not found (build the windows preset first)"
  locstr_prepare_prefix null
  # Read when the desktop starts, so a change restarts the prefix's server.
  current=$("$WINE" reg query 'HKCU\Software\Wine\Drivers' /v Graphics | tr -d '\r' |
            awk '/Graphics/ {print $3}')
  if [ "$current" != "$graphics" ]; then
    quiet "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d "$graphics" /f
    locstr_wineserver_stop
  fi
  # A persistent server keeps the driver loaded between programs. -p fails
  # (status 2) when a server runs already, persistent from an earlier install.
  "$WINESERVER" -p 2>/dev/null || true

  target="$WINEPREFIX/drive_c/windows/system32/drivers/vnic.sys"
  if ! cmp -s "$sys" "$target"; then
    # A loaded driver's image is mapped from this file: never rewrite it in
    # place. Stop the old driver and put the new file under the name.
    vnic_stop
    cp "$sys" "$target.new"
    mv -f "$target.new" "$target"
  fi
  if ! "$WINE" sc query "$VNIC_SERVICE" >/dev/null 2>&1; then
    # A demand-start driver would go with the wineserver; an absolute image
    # path is required (sc config fails in Wine 8, so this is set at creation).
    quiet "$WINE" sc create "$VNIC_SERVICE" type= kernel start= auto binPath= "$VNIC_IMAGE"
  fi
  quiet "$WINE" reg add "$VNIC_INTERFACES_KEY\\$VNIC_INTERFACE_NAME" /v 'device name' \
    /t REG_SZ /d "$VNIC_DEVICE_NAME" /f
  vnic_start
}

vnic_start() {
  local query state="" started=""
  # -p fails (status 2) when a server runs already; it is then used as it is.
  "$WINESERVER" -p 2>/dev/null || true
  for _ in $(seq 1 50); do
    if ! query=$("$WINE" sc query "$VNIC_SERVICE" 2>&1); then
      printf '%s\n' "$query" >&2
      locstr_wine32_hint
      locstr_die "vnic: \"sc query vnic\" failed in $WINEPREFIX (not installed? tools/vnic.sh install installs it)"
    fi
    state=$(printf '%s\n' "$query" | tr -d '\r' | awk '/STATE/ {print $4}')
    [ "$state" != RUNNING ] || return 0
    if [ "$state" = STOPPED ]; then
      # sc start fails while the service is still starting; the loop asks again.
      started=$("$WINE" sc start "$VNIC_SERVICE" 2>&1) || true
    fi
    sleep 0.1
  done
  echo "vnic: the vnic service does not run (state ${state:-unknown} after 5 s)" >&2
  [ -z "$started" ] || printf 'the last "sc start vnic" said:\n%s\n' "$started" >&2
  locstr_wine32_hint
  exit 1
}

# Fails when the service is not running (or not installed): stopped either way.
vnic_stop() { "$WINE" sc stop "$VNIC_SERVICE" >/dev/null 2>&1 || true; }

# The prefix itself stays for a fast next install; delete it to remove it too.
vnic_remove() {
  [ -f "$WINEPREFIX/system.reg" ] || return 0
  # Each step fails when what it removes is not there (never installed, or
  # removed already), which is the state wanted.
  vnic_stop
  "$WINE" sc delete "$VNIC_SERVICE" >/dev/null 2>&1 || true
  "$WINE" reg delete "$VNIC_INTERFACES_KEY\\$VNIC_INTERFACE_NAME" /f >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/drive_c/windows/system32/drivers/vnic.sys"
  locstr_wineserver_stop
}

vnic_exec() {
  [ $# -ge 2 ] || usage
  local sys=$1 log
  shift
  log=$(mktemp)
  locstr_at_exit "rm -f $(printf %q "$log")"
  locstr_at_exit locstr_wineserver_stop
  # A script of its own, which stops at the first failing step.
  if ! bash "$0" install "$sys" >"$log" 2>&1; then
    cat "$log" >&2
    locstr_die "vnic: the driver could not be installed"
  fi
  locstr_wine_run "$@" || exit
}

vnic_run() {
  local commands
  [ -n "${DISPLAY:-}" ] || locstr_die "vnic: run needs a display (headless, the end-to-end tests use the driver)"
  locstr_windows_build vnic vnet locstr
  VNIC_GRAPHICS=x11 vnic_install "$VNIC_SYS"
  commands=$(mktemp -u)
  mkfifo "$commands"
  "$WINE" "$VNET_EXE" <"$commands" >/dev/null 2>&1 &
  exec 3>"$commands" # vnet.exe reads its commands from here; "quit" ends it
  rm -f "$commands"
  echo "vnic: vnet.exe is up; starting locstr.exe (pick \"$VNIC_INTERFACE_NAME\", tick Open)"
  # Its exit status is not this script's concern: the user closed it.
  "$WINE" "$LOCSTR_EXE" 2>/dev/null || true
  echo quit >&3
  exec 3>&-
  wait
}

command=${1:-}
[ $# -eq 0 ] || shift
case $command in
  install) [ $# -le 1 ] || usage; vnic_install "$@" ;;
  start | stop | remove | run) [ $# -eq 0 ] || usage; "vnic_$command" ;;
  exec) vnic_exec "$@" ;;
  *) usage ;;
esac
