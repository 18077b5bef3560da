# Sourced with a Wine prefix kind, win32 or win64: exports what runs that
# build's programs quietly. The loader and server are named outright because
# /usr/bin/wine takes the 32-bit loader whenever wine32 is installed, even
# where this machine cannot execute it.
case $1 in
  win32) WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32 ;;
  win64) WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 ;;
  *) echo "wine-env.sh: the prefix kind is win32 or win64, not '$1'" >&2; return 2 ;;
esac
export WINEARCH=$1 WINELOADER WINESERVER WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
