#!/usr/bin/env bash
# The README's run command: sets up, builds locstr-demo.exe and starts it under
# Wine on the virtual network. With a display the windows stay open for you.
# Without one it runs under Xvfb, changes a node's location string through the
# window as an operator would, saves a screenshot (build/demo-screenshot.png,
# or the path in LOCSTR_DEMO_SHOT; the README's is docs/screenshot.png), and
# exits 0 only when the change completed and the panel's traffic log lists
# every answer after its request. LOCSTR_DEMO_CHANGES=N makes N changes in
# all (the log holds the last 200 or so); LOCSTR_DEMO_DPI=144 or 192 runs it at
# 150 % or 200 % display scale (in a prefix of its own, with a desktop as
# much larger).
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
cd "$(dirname "$0")/.."
# Exported: the run under Xvfb (--in-x) has them.
[ "${1:-}" = --in-x ] || locstr_windows_build locstr-demo demo-operator

# The demo has a prefix of its own: the project's prefix uses the null display
# driver, which draws nothing. Here Wine's X11 driver draws into one virtual
# desktop, so the windows get captions without a window manager.
export WINEPREFIX="${LOCSTR_DEMO_WINEPREFIX:-$HOME/.cache/locstr/demo-prefix}"
dpi=${LOCSTR_DEMO_DPI:-96}
[[ $dpi =~ ^[1-9][0-9]*$ ]] || locstr_die "demo: LOCSTR_DEMO_DPI must be a number of dots per inch, like 144"
[ "$dpi" = 96 ] || WINEPREFIX+="-${dpi}dpi"
# Wide enough for the program's window and the panel beside it.
desktop_width=$((1280 * dpi / 96))
desktop_height=$((600 * dpi / 96))
desktop_size=${desktop_width}x${desktop_height}
# shellcheck disable=SC2317 # run by locstr_prepare_prefix, which shellcheck does not see
demo_prefix() {
  quiet "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f
  quiet "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$1" /f
  [ "$2" = 96 ] || locstr_display_scale "$2"
}
locstr_prepare_prefix "" demo_prefix "$desktop_size" "$dpi"

if [ "${1:-}" != "--in-x" ] && [ -n "${DISPLAY:-}" ]; then
  echo "demo: starting locstr-demo.exe; close its window to end"
  exec "$WINE" "$LOCSTR_DEMO_EXE"
fi

if [ "${1:-}" != "--in-x" ]; then
  # Headless: the same script again, inside a virtual X server of the desktop's size.
  exec xvfb-run -a -s "-screen 0 ${desktop_size}x24" bash "$0" --in-x
fi

# Wine's messages on stderr are kept in files, shown only when the change fails.
demo_err=$(mktemp)
operator_err=$(mktemp)
locstr_at_exit "rm -f $(printf %q "$demo_err") $(printf %q "$operator_err")"
"$WINE" "$LOCSTR_DEMO_EXE" 2>"$demo_err" &
demo_pid=$!
rc=0
"$WINE" "$DEMO_OPERATOR_EXE" drive "Roof 7" "${LOCSTR_DEMO_CHANGES:-1}" 2>"$operator_err" || rc=$?
if [ $rc -ne 0 ]; then
  echo "demo: demo-operator.exe drive ended with status $rc; Wine's messages:" >&2
  grep -hv 'fixme:' "$demo_err" "$operator_err" >&2 || echo "demo: (none)" >&2
fi
sleep 1
shot="${LOCSTR_DEMO_SHOT:-build/demo-screenshot.png}"
mkdir -p "$(dirname "$shot")"
# Both windows, without the empty desktop around them.
if import -window root /tmp/locstr-demo-$$.png; then
  desktop=$(convert /tmp/locstr-demo-$$.png -format "%[pixel:p{$((desktop_width - 4)),$((desktop_height - 5))}]" info:)
  convert /tmp/locstr-demo-$$.png -bordercolor "$desktop" -border 1 -trim +repage "$shot"
  rm -f /tmp/locstr-demo-$$.png
  echo "demo: screenshot saved to $shot"
else
  echo "demo: no screenshot (import could not read the X display)" >&2
fi
# Fails when the program has ended already: then there is nothing to close.
"$WINE" "$DEMO_OPERATOR_EXE" close 2>/dev/null || true
# The program's own status says nothing about the change; rc does.
wait "$demo_pid" || true
locstr_wineserver_stop
exit $rc
