#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program under Wine,
# quietly, in a prefix of the build's own that is made on first use.
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Several tests may start at once; only one of them sets the prefix up.
  flock "$WINEPREFIX" wineboot -i >/dev/null 2>&1
fi
exec wine "$@"
