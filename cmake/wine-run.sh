#!/usr/bin/env bash
# wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]: runs a Windows program
# under Wine, quietly, in a prefix of the build's own made on first use.
source "$(dirname "$0")/wine-env.sh" "$1" || exit
export WINEPREFIX="$2"
shift 2
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Several tests may start at once; only one of them sets the prefix up.
  flock "$WINEPREFIX" "$WINELOADER" wineboot -i >/dev/null 2>&1
fi
exec "$WINELOADER" "$@"
