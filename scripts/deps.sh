# Installs the Debian packages named in "$@" that are not installed yet.
# Sourced by the run and test scripts; needs root on a fresh machine.
install_missing() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing from Debian: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The catalogue's page is tested in headless Chromium, with a font for its Japanese.
NATIVE_PACKAGES=(cmake ninja-build g++ googletest libbenchmark-dev libpng-dev zlib1g-dev time man-db locales
                 imagemagick python3-pil python3-seccomp chromium chromium-driver python3-selenium fonts-ipafont-gothic)
# Building the Windows programs (dpkg-dev unpacks libpng's source), and then
# running and testing them under Wine; the Japanese font shows the window's
# notices, x11-utils tells whether a display answers.
WINDOWS_BUILD_PACKAGES=(cmake ninja-build googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
                        libz-mingw-w64-dev dpkg-dev)
WINDOWS_PACKAGES=("${WINDOWS_BUILD_PACKAGES[@]}" wine64 fonts-ipafont-gothic x11-utils python3 xvfb xdotool
                  gcc libc6-dev libx11-dev locales)
FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev libpng-dev zlib1g-dev)
# A real editor the picture tests open pictures in, in batch mode.
EDITOR_PACKAGES=(gimp)

# Debian has no libpng built for Windows, so the Windows builds compile
# Debian's own source package of it, security fixes applied, which lands here.
SOURCES_DIR=/usr/local/src/quillane
SOURCES_LIST=/etc/apt/sources.list.d/quillane-sources.sources

# Unpacks Debian's source package $1 into $SOURCES_DIR/$1 unless it is there,
# adding the source lists of Debian's main archive (point releases carry its
# security fixes).
fetch_source() {
  local package=$1
  [ -d "$SOURCES_DIR/$package" ] && return 0
  if [ ! -f "$SOURCES_LIST" ]; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\n%s\n' \
      'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$SOURCES_LIST"
    apt-get update -qq
  fi
  echo "Fetching Debian's source of $package"
  local work
  work=$(mktemp -d)
  (cd "$work" && apt-get source -qq "$package" >/dev/null 2>&1) || { rm -rf "$work"; return 1; }
  mkdir -p "$SOURCES_DIR"
  mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$SOURCES_DIR/$package"
  rm -rf "$work"
}

# Configures the Windows build in $1 with the toolchain file $2, which CMake
# takes only when it first configures a folder (and warns of it after).
configure_windows() {
  local args=(-S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release)
  [ -f "$1/CMakeCache.txt" ] || args+=(-DCMAKE_TOOLCHAIN_FILE="$2")
  cmake "${args[@]}" >/dev/null
}

# Wine takes its ANSI code page from the Unix locale, and only from one glibc knows.
ensure_japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

# Some machines' kernels cannot execute 32-bit x86 programs at all, and Wine's
# 32-bit loader is one; package lists cannot tell, so a tiny one is tried.
runs_i386() {
  local probe=build/i386-probe status=0
  mkdir -p build
  {
    # ELF header: 32-bit little-endian i386 executable, entry 0x8048054.
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\064\0\0\0\0\0\0\0'
    printf '\0\0\0\0\064\0\040\0\1\0\0\0\0\0\0\0'
    # One segment: these 96 bytes at 0x8048000, readable and executable.
    printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\140\0\0\0\140\0\0\0\5\0\0\0\0\020\0\0'
    # mov eax, 1 (exit); mov ebx, 42; int 0x80
    printf '\270\1\0\0\0\273\052\0\0\0\315\200'
  } >"$probe" && chmod +x "$probe" || return 1
  timeout 5 "./$probe" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 42 ]
}

# Sets WINE32_OFF to why the 32-bit Windows build cannot be run under Wine
# here, or to nothing when it can.
decide_wine32() {
  WINE32_OFF=
  if [ "${QUILLANE_NO_WINE32:-0}" != 0 ]; then
    WINE32_OFF="QUILLANE_NO_WINE32 is set"
  elif ! runs_i386; then
    WINE32_OFF="this machine cannot execute 32-bit x86 programs"
  fi
}

# Installs wine32 where decide_wine32 left the 32-bit build to run. An
# archive that cannot give it (its i386 lists out of step with amd64's, as a
# mirror between syncs is) leaves that build unrun, and WINE32_OFF says so.
install_wine32() {
  [ -n "$WINE32_OFF" ] && return 0
  install_missing wine32:i386 || WINE32_OFF="Debian's archive could not install wine32:i386 here"
}
