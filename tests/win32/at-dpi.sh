#!/usr/bin/env bash
# Runs one Windows test program at another display scale: in a Wine prefix of
# its own beside the project's (null display driver, LogPixels = DPI), made
# once, whose wineserver is ended afterwards. The program finds the DPI it
# was meant to run at in LOCSTR_TEST_DPI. Usage: at-dpi.sh DPI program.exe [args...]
# shellcheck source=../../tools/wine-env.sh
. "$(dirname "$0")/../../tools/wine-env.sh"
dpi=$1
shift
export WINEPREFIX="$WINEPREFIX-${dpi}dpi"
locstr_prepare_prefix null locstr_display_scale "$dpi"
export LOCSTR_TEST_DPI=$dpi
locstr_at_exit locstr_wineserver_stop
locstr_wine_run "$@" || exit
