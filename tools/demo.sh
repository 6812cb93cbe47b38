#!/usr/bin/env bash
# The README's run command: sets up, builds locstr-demo.exe and starts it under
# Wine on the virtual network. With a display the windows stay open for you.
# Without one it runs under Xvfb, changes a node's location string through the
# window as an operator would, saves a screenshot (build/demo-screenshot.png,
# or the path in LOCSTR_DEMO_SHOT; the README's is docs/screenshot.png), and
# exits 0 only when the change completed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/.."

if [ "${1:-}" != "--in-x" ]; then
  bash tools/setup.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" --target locstr-demo demo-operator
fi
. tools/wine-env.sh
exe_dir=$(pwd)/build/windows/ui

# The demo has a prefix of its own: the project's prefix uses the null display
# driver, which draws nothing. Here Wine's X11 driver draws into one virtual
# desktop, so the windows get captions without a window manager.
export WINEPREFIX="${LOCSTR_DEMO_WINEPREFIX:-$HOME/.cache/locstr/demo-prefix}"
# Wide enough for the program's window and the panel beside it.
desktop_size=1280x600
locstr_prepare_prefix ""
if [ ! -f "$WINEPREFIX/.locstr-demo-ready-$desktop_size" ]; then
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$desktop_size" /f >/dev/null 2>&1
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w 2>/dev/null || true
  rm -f "$WINEPREFIX"/.locstr-demo-ready*
  touch "$WINEPREFIX/.locstr-demo-ready-$desktop_size"
fi

if [ "${1:-}" != "--in-x" ] && [ -n "${DISPLAY:-}" ]; then
  echo "demo: starting locstr-demo.exe; close its window to end"
  exec "$WINE" "$exe_dir/locstr-demo.exe"
fi

if [ "${1:-}" != "--in-x" ]; then
  # Headless: the same script again, inside a virtual X server of the desktop's size.
  exec xvfb-run -a -s "-screen 0 ${desktop_size}x24" bash "$0" --in-x
fi

"$WINE" "$exe_dir/locstr-demo.exe" 2>/dev/null &
demo_pid=$!
rc=0
"$WINE" "$exe_dir/demo-operator.exe" drive "Roof 7" 2>/dev/null || rc=$?
sleep 1
shot="${LOCSTR_DEMO_SHOT:-build/demo-screenshot.png}"
mkdir -p "$(dirname "$shot")"
# Both windows, without the empty desktop around them.
if import -window root /tmp/locstr-demo-$$.png; then
  desktop=$(convert /tmp/locstr-demo-$$.png -format '%[pixel:p{1276,595}]' info:)
  convert /tmp/locstr-demo-$$.png -bordercolor "$desktop" -border 1 -trim +repage "$shot"
  rm -f /tmp/locstr-demo-$$.png
  echo "demo: screenshot saved to $shot"
fi
"$WINE" "$exe_dir/demo-operator.exe" close 2>/dev/null || true
wait "$demo_pid" || true
"$WINESERVER" -k 2>/dev/null || true
exit $rc
