# Installs the Debian packages named in "$@" that are not installed yet.
# Sourced by the run and test scripts; needs root on a fresh machine.
install_missing() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

NATIVE_PACKAGES=(cmake ninja-build g++ googletest libbenchmark-dev time)
WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix wine wine32:i386 python3 xvfb xdotool gcc libc6-dev
                  libx11-dev locales)
FUZZ_PACKAGES=(cmake ninja-build clang libclang-rt-14-dev)

# Wine takes its ANSI code page from the Unix locale, and only from one glibc knows.
ensure_japanese_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}
