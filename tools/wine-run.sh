#!/usr/bin/env bash
# Test emulator for the windows build: runs one .exe under the project's Wine
# prefix, its status the program's (tools/wine-env.sh's locstr_wine_run).
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
locstr_wine_run "$@" || exit
