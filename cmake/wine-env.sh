# Sourced with a Wine prefix kind, win32 or win64: exports what runs that
# build's programs quietly, and defines what sets a prefix up for them. The
# loader and server are named outright because /usr/bin/wine takes the 32-bit
# loader whenever wine32 is installed, even where this machine cannot execute
# it.
case $1 in
  win32) WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32 ;;
  win64) WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 ;;
  *) echo "wine-env.sh: the prefix kind is win32 or win64, not '$1'" >&2; return 2 ;;
esac
export WINEARCH=$1 WINELOADER WINESERVER WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Japanese text in Wine's dialogs falls back, as on Windows, on the font
# "MS UI Gothic", which Wine lacks; without it the notices' words are empty
# boxes. That name is given to IPA Gothic (Debian's fonts-ipafont-gothic), in
# the prefix $WINEPREFIX, for every locale.
add_japanese_font() {
  "$WINELOADER" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f >/dev/null 2>&1
}

# Sets up the prefix $WINEPREFIX on first use: Wine's own setup, then the
# Japanese font. Of several programs starting at once one sets it up while
# the others wait; the mark it leaves spares later ones the wait. Wine's
# programs get no copy of the lock, which its server would keep.
prepare_wine_prefix() {
  local mark=$WINEPREFIX/.quillane-prepared
  [ -f "$mark" ] && return 0
  mkdir -p "$WINEPREFIX" || return
  (
    flock 9 || exit
    [ -f "$mark" ] && exit 0
    if [ ! -f "$WINEPREFIX/system.reg" ]; then "$WINELOADER" wineboot -i >/dev/null 2>&1 9<&- || exit; fi
    add_japanese_font 9<&- && touch "$mark"
  ) 9<"$WINEPREFIX"
}
