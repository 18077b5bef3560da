#!/usr/bin/env bash
# Drives the real Quillane.exe under Wine on a private X server: files arrive
# by XDND the way a file manager drops them, keys come through XTEST, and what
# the program shows is read back through Win32 (probe.exe) and the screen.
#
#   run.sh QUILLANE_EXE MAKE_CARRIER_EXE
#
# QUILLANE_WINEARCH is the build's Wine prefix kind, win32 (the default) or
# win64. QUILLANE_PROBE and QUILLANE_XDRIVE may name prebuilt helpers;
# otherwise they are built here from the sources beside this script.
# QUILLANE_WINE_TIMEOUT bounds the whole run in seconds.
set -u

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../cmake/wine-env.sh" "${QUILLANE_WINEARCH:-win32}" || exit 2
exe=${1:-} make_carrier=${2:-}
[ -n "$make_carrier" ] || { echo "usage: $0 QUILLANE_EXE MAKE_CARRIER_EXE" >&2; exit 2; }
for file in "$exe" "$make_carrier"; do [ -f "$file" ] || { echo "run.sh: no such file: $file" >&2; exit 2; }; done
exe=$(realpath "$exe") make_carrier=$(realpath "$make_carrier")

# Wine turns the dropped /x/y into this; it is what the notices must show.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

msg_extension='拡張子が ".gif" もしくは ".GIF" 以外のファイルは処理できません。'
msg_format='このファイルは対応フォーマットではありません。'
msg_io='ファイルの読み書きに失敗しました。'
msg_kept='このファイルは搬送ファイルと異なる画像のため、上書きしませんでした。'
plain_locale=C.UTF-8
japanese_locale=ja_JP.UTF-8

T=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/quillane-wine.XXXXXX")")
xvfb_pid='' watchdog_pid=''
passed=0 failed=0

# Whatever ends the run, CI gets the count, with the cut-short part as a failure.
give_up() {
    echo "run.sh: $*" >&2
    echo "$passed passed, $((failed + 1)) failed"
    exit 1
}

cleanup() {
    trap - EXIT INT TERM
    if [ -d "$T/prefix" ]; then
        WINEPREFIX="$T/prefix" timeout 20 "$WINESERVER" -k >/dev/null 2>&1
        WINEPREFIX="$T/prefix" timeout 20 "$WINESERVER" -w >/dev/null 2>&1
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "$watchdog_pid" ] && kill "$watchdog_pid" 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT
trap 'give_up "stopped by a signal"' INT TERM

# Every step below has its own timeout; this only catches a run that adds
# up to far more than it should.
deadline=$(($(date +%s) + ${QUILLANE_WINE_TIMEOUT:-480}))
(
    while kill -0 $$ 2>/dev/null; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            echo "run.sh: the whole run took longer than ${QUILLANE_WINE_TIMEOUT:-480} s" >&2
            kill -TERM $$
            exit
        fi
        sleep 1
    done
) &
watchdog_pid=$!

probe_exe=${QUILLANE_PROBE:-}
if [ -z "$probe_exe" ]; then
    probe_exe=$T/probe.exe
    triplet=i686-w64-mingw32
    [ "$WINEARCH" = win64 ] && triplet=x86_64-w64-mingw32
    "$triplet-g++-posix" -std=c++20 -O2 -municode "$here/probe.cpp" -o "$probe_exe" \
        -static -static-libgcc -static-libstdc++ || give_up "cannot build probe.exe"
fi
xdrive=${QUILLANE_XDRIVE:-}
if [ -z "$xdrive" ]; then
    xdrive=$T/xdrive
    cc -std=c11 -D_POSIX_C_SOURCE=200809L -O2 "$here/xdrive.c" -o "$xdrive" -lX11 ||
        give_up "cannot build xdrive (needs libx11-dev)"
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$T/display" >"$T/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$T/display" ] && break; sleep 0.1; done
[ -s "$T/display" ] || give_up "Xvfb did not start: $(cat "$T/xvfb.log")"
DISPLAY=":$(head -n1 "$T/display")"
export DISPLAY

export WINEPREFIX="$T/prefix"
export LANG=$plain_locale LC_ALL=$plain_locale
# A persistent server keeps each of the many short wine runs below fast.
mkdir "$WINEPREFIX"
"$WINESERVER" -p
timeout 180 "$WINELOADER" wineboot -i >"$T/wineboot.log" 2>&1 || give_up "wineboot failed: $(cat "$T/wineboot.log")"
add_japanese_font || give_up "cannot give Wine a Japanese font"

# ---- helpers used inside scenarios (each scenario runs in its own subshell) ----

die() {
    printf '    %s\n' "$@" >&2
    exit 1
}

probe() { timeout 30 "$WINELOADER" "$probe_exe" "$@" 2>"$work/probe.err"; }
probe_failure() { cat "$work/probe.err"; }

app_pid='' app_locale=$plain_locale
# The instance belongs to the scenario's subshell and never outlives it.
stop_app() {
    [ -n "$app_pid" ] || return 0
    if kill -0 "$app_pid" 2>/dev/null; then
        kill -TERM "$app_pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$app_pid" 2>/dev/null
    fi
    wait "$app_pid" 2>/dev/null
    app_pid=''
}

# start_app LOCALE [ARGS...]
start_app() {
    local locale=$1
    shift
    trap stop_app EXIT
    app_locale=$locale
    LANG=$locale LC_ALL=$locale "$WINELOADER" "$exe" "$@" >>"$T/app.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 30); do
        win=$("$xdrive" find Quillane 1 2>/dev/null) && return 0
        kill -0 "$app_pid" 2>/dev/null || die "Quillane ended before showing its window"
    done
    die "the Quillane window did not appear within 30 s"
}

# Waits for the instance to end and fails unless it ended with exit code 0.
expect_exit_0() {
    local rc
    for _ in $(seq 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app_pid" 2>/dev/null && die "Quillane is still running 15 s after $1"
    wait "$app_pid"
    rc=$?
    app_pid=''
    [ "$rc" -eq 0 ] || die "Quillane exited with code $rc after $1, expected 0"
}

expect_running() {
    sleep 0.5
    kill -0 "$app_pid" 2>/dev/null || die "Quillane exited after $1"
    probe info >/dev/null || die "the Quillane window is gone after $1" "$(probe_failure)"
}

new_work() {
    work=$T/work/$1
    mkdir -p "$work/in" "$work/want"
}

# carrier NAME [make-carrier options] — the expected output goes to $work/want.
# The tool takes ANSI arguments, so it writes to plain names that are moved.
carrier() {
    local name=$1
    shift
    (cd "$work" && timeout 60 "$WINELOADER" "$make_carrier" --packed "$@" new.gif new.bmp) ||
        die "cannot make carrier $name"
    mv "$work/new.gif" "$work/in/$name" && mv "$work/new.bmp" "$work/want/$name.bmp"
}

drop() {
    local paths=() name
    for name in "$@"; do paths+=("$work/in/$name"); done
    "$xdrive" drop "$win" "${paths[@]}" 2>"$work/xdrive.err" || die "the drop failed" "$(cat "$work/xdrive.err")"
}

listing() { (cd "$work/in" && find . -mindepth 1 | LC_ALL=C sort); }

# Spells out line breaks and carriage returns, which would hide in a plain print.
visible() {
    local s
    s=$(cat "$1" && printf x)
    s=${s%x}
    s=${s//$'\r'/\\r}
    printf '%s' "${s//$'\n'/\\n}"
}

# expect_notice NAME MESSAGE — reads the open notice, checks that its font
# shows every character of it, and leaves it open.
expect_notice() {
    printf 'ファイル：%s\n%s' "$(winpath "$work/in/$1")" "$2" >"$work/notice.want"
    probe box-read 10000 >"$work/notice.got" ||
        die "expected a notice for $1, but: $(probe_failure)"
    cmp -s "$work/notice.got" "$work/notice.want" ||
        die "the notice for $1 is worded differently" "want: $(visible "$work/notice.want")" \
            "got:  $(visible "$work/notice.got")"
    LANG=$app_locale LC_ALL=$app_locale probe box-glyphs ||
        die "the notice for $1 shows empty boxes: $(probe_failure)"
}

dismiss() { probe box-ok || die "cannot dismiss the notice: $(probe_failure)"; }

expect_no_notice() {
    probe box-none "$1" >"$work/notice.got" ||
        die "an unexpected notice appeared: $(visible "$work/notice.got")"
}

# expect_output NAME [SECONDS] — NAME.bmp must match byte for byte, now or
# within SECONDS.
expect_output() {
    local got=$work/in/$1.bmp want=$work/want/$1.bmp tries=$((${2:-0} * 10))
    for _ in $(seq 0 "$tries"); do
        cmp -s "$got" "$want" && return 0
        [ "$tries" -gt 0 ] && sleep 0.1
    done
    [ -e "$got" ] || die "$1.bmp was not written"
    die "$1.bmp differs from the expected bitmap" "$(cmp "$got" "$want" 2>&1)" \
        "sizes: got $(stat -c %s "$got"), want $(stat -c %s "$want")"
}

expect_absent() {
    local name
    for name in "$@"; do [ -e "$work/in/$name" ] && die "$name exists but should not"; done
    return 0
}

expect_listing() {
    local want got
    want=$(printf '%s\n' "$@" | sed 's|^|./|' | LC_ALL=C sort)
    got=$(listing)
    [ "$got" = "$want" ] || die "the folder holds other files than expected" \
        "want: ${want//$'\n'/ }" "got:  ${got//$'\n'/ }"
}

# ---- scenarios ----

window_looks_right() {
    new_work window
    start_app "$plain_locale"
    probe info >"$work/info" || die "$(probe_failure)"
    local class title classstyle style exstyle menu rect
    class=$(sed -n 's/^class=//p' "$work/info")
    title=$(sed -n 's/^title=//p' "$work/info")
    classstyle=$(sed -n 's/^classstyle=//p' "$work/info")
    style=$(sed -n 's/^style=//p' "$work/info")
    exstyle=$(sed -n 's/^exstyle=//p' "$work/info")
    menu=$(sed -n 's/^menu=//p' "$work/info")
    rect=$(sed -n 's/^rect=//p' "$work/info")
    [ "$class" = Quillane ] || die "class name is '$class', expected 'Quillane'"
    [ "$title" = Quillane ] || die "title is '$title', expected 'Quillane'"
    [ $((classstyle)) -eq 3 ] || die "class style is $classstyle, expected CS_HREDRAW|CS_VREDRAW (0x3)"
    [ $((style & 0x00C80000)) -eq $((0x00C80000)) ] || die "style $style lacks WS_CAPTION|WS_SYSMENU"
    [ $((style & 0x00070000)) -eq 0 ] ||
        die "style $style has a sizing frame or a minimize/maximize box"
    # Wine adds the edge bit for captioned windows and DragAcceptFiles adds
    # its own; anything else was asked for by the program.
    [ $((exstyle & ~0x110)) -eq 0 ] || die "extended style is $exstyle, expected none of its own"
    [ $((exstyle & 0x10)) -ne 0 ] || die "extended style $exstyle lacks WS_EX_ACCEPTFILES"
    [ "$menu" = 0 ] || die "the window has a menu"
    [ "$rect" = 0,0,256,256 ] || die "window rectangle is $rect, expected 0,0,256,256"
}

client_area_is_black() {
    new_work black
    start_app "$plain_locale"
    probe info >"$work/info" || die "$(probe_failure)"
    local x y w h
    IFS=, read -r x y w h < <(sed -n 's/^client=//p' "$work/info")
    if [ "$w" -le 0 ] || [ "$h" -le 0 ]; then die "the client area is empty ($w x $h)"; fi
    # Painting reaches the X server asynchronously; give it a moment so an
    # unpainted (and thus still black) window cannot pass.
    sleep 1
    "$xdrive" black "$x" "$y" "$w" "$h" 2>"$work/xdrive.err" ||
        die "the client area is not black" "$(cat "$work/xdrive.err")"
}

failing_file_holds_up_the_rest() {
    new_work three
    carrier a.gif --comment --width 9 --height 20 --seed 11
    printf 'Plain words, nothing like a picture, kept well past byte 21.\n' >"$work/in/b.gif"
    # A 255-byte payload ends its chain with an empty sub-block.
    carrier c.GIF --width 5 --height -3 --trailer 156 --seed 12
    start_app "$plain_locale"
    [ "$(probe acp)" != 932 ] || die "the plain locale runs with the Japanese code page"
    drop a.gif b.gif c.GIF
    expect_notice b.gif "$msg_format"
    expect_output a.gif
    sleep 0.5
    expect_absent b.gif.bmp c.GIF.bmp c.GIF.temp
    dismiss
    expect_output c.GIF 10
    expect_no_notice 500
    expect_listing a.gif a.gif.bmp b.gif c.GIF c.GIF.bmp
}

only_wrong_extensions() {
    new_work extensions
    # Both hold a valid carrier, so only the name can be what turns them away.
    carrier mixed.Gif --seed 21
    carrier carrier.gif.txt --seed 22
    start_app "$plain_locale"
    drop mixed.Gif carrier.gif.txt
    expect_notice mixed.Gif "$msg_extension"
    dismiss
    expect_notice carrier.gif.txt "$msg_extension"
    dismiss
    expect_no_notice 1000
    expect_listing mixed.Gif carrier.gif.txt
}

unwritable_output() {
    new_work io
    carrier blocked.gif --seed 31
    mkdir "$work/in/blocked.gif.bmp"
    start_app "$plain_locale"
    drop blocked.gif
    expect_notice blocked.gif "$msg_io"
    dismiss
    expect_no_notice 500
    expect_listing blocked.gif blocked.gif.bmp
}

# An earlier .gif.bmp that shows another picture than its carrier may be an
# edit: it is kept, a notice names it, and the next file of the drop goes on.
edited_output_kept() {
    new_work kept
    carrier edited.gif --width 6 --height 4 --seed 61
    carrier fresh.gif --seed 62
    # The first pixel of the picture's bottom row, another colour.
    cp "$work/want/edited.gif.bmp" "$work/in/edited.gif.bmp"
    printf '\xff\x00\xff' | dd of="$work/in/edited.gif.bmp" bs=1 seek=54 conv=notrunc status=none
    cp "$work/in/edited.gif.bmp" "$work/edited.was"
    start_app "$plain_locale"
    drop edited.gif fresh.gif
    expect_notice edited.gif.bmp "$msg_kept"
    dismiss
    expect_output fresh.gif 10
    expect_no_notice 500
    cmp -s "$work/in/edited.gif.bmp" "$work/edited.was" || die "the edited edited.gif.bmp was replaced"
    expect_listing edited.gif edited.gif.bmp fresh.gif fresh.gif.bmp
}

# In Shift_JIS ソ is 0x83 0x5C: its second byte is a backslash, so any
# byte-wise path handling under code page 932 trips over it.
japanese_locale_names() {
    new_work japanese
    locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' ||
        die "the $japanese_locale locale is missing (scripts/test.sh makes it)"
    mkdir -p "$work/in/ソ" "$work/want/ソ"
    carrier ソ/ソ.gif --width 4 --height 3 --seed 41
    carrier ソ/ソ.txt --seed 42
    [ "$(LANG=$japanese_locale LC_ALL=$japanese_locale probe acp)" = 932 ] ||
        die "Wine does not use code page 932 under $japanese_locale"
    start_app "$japanese_locale"
    drop ソ/ソ.gif ソ/ソ.txt
    expect_notice ソ/ソ.txt "$msg_extension"
    expect_output ソ/ソ.gif
    dismiss
    expect_no_notice 500
    expect_listing ソ ソ/ソ.gif ソ/ソ.gif.bmp ソ/ソ.txt
}

keys() {
    new_work keys
    start_app "$plain_locale"
    timeout 10 xdotool windowfocus --sync "$win" || die "cannot focus the Quillane window"
    xdotool key Return || die "xdotool cannot type"
    expect_running "Enter"
    xdotool key a || die "xdotool cannot type"
    expect_running "the A key"
    xdotool key Escape || die "xdotool cannot type"
    expect_exit_0 "Escape"
}

closing() {
    new_work close
    start_app "$plain_locale"
    "$xdrive" close "$win" || die "cannot send WM_DELETE_WINDOW"
    expect_exit_0 "the window manager's close request"
    start_app "$plain_locale"
    probe close || die "$(probe_failure)"
    expect_exit_0 "WM_CLOSE"
}

command_line_is_ignored() {
    new_work cmdline
    carrier given.gif --seed 51
    start_app "$plain_locale" "$(winpath "$work/in/given.gif")"
    expect_no_notice 1500
    expect_listing given.gif
    kill -0 "$app_pid" 2>/dev/null || die "Quillane exited by itself"
}

# ---- run ----

scenario() {
    local title=$1
    shift
    if ("$@") 2>"$T/why"; then
        echo "ok   $title"
        passed=$((passed + 1))
    else
        echo "FAIL $title"
        cat "$T/why"
        failed=$((failed + 1))
    fi
}

scenario "window: class, title, styles, class style, 0,0-256x256" window_looks_right
scenario "window: client area is black on screen" client_area_is_black
scenario "drop of three, middle one not a carrier: the rest wait for the notice" failing_file_holds_up_the_rest
scenario "drop of only wrong extensions: one notice each, nothing written" only_wrong_extensions
scenario "output cannot be written: I/O notice, no staging file left" unwritable_output
scenario "an edited output: kept, a notice names it, the next file converted" edited_output_kept
scenario "Japanese locale: ソ.gif converted, notice shows ソ path" japanese_locale_names
scenario "keys: Enter and A do nothing, Escape exits with 0" keys
scenario "close from the window manager and by WM_CLOSE exits with 0" closing
scenario "a carrier path on the command line is not converted" command_line_is_ignored

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
