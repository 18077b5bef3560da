#!/usr/bin/env bash
# wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]: runs a Windows program
# under Wine, quietly, in a prefix of the build's own set up on first use.
source "$(dirname "$0")/wine-env.sh" "$1" || exit
export WINEPREFIX="$2"
shift 2
prepare_wine_prefix || { echo "wine-run.sh: cannot set up the Wine prefix $WINEPREFIX" >&2; exit 1; }
exec "$WINELOADER" "$@"
