# Installs the Debian packages the build and the tests need, once: nothing is fetched when all are there.
# shellcheck shell=bash

AUTORUN_PACKAGES=(
    cmake make g++ googletest
    g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine64 wine32:i386
    xvfb xauth x11-utils xdotool imagemagick
    python3 python3-pil python3-pytest fonts-dejavu-core fonts-wine
    clang libclang-rt-14-dev xorriso locales
    python3-fusepy
    libcli11-dev nlohmann-json3-dev
)

# ensure_packages [PACKAGE...]: the packages named, or those the build and the tests need.
ensure_packages() {
    local missing=()
    local p
    [ $# -gt 0 ] || set -- "${AUTORUN_PACKAGES[@]}"
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# The Korean tests run Wine with the ANSI code page 949, which needs this locale on the Unix side.
ensure_korean_locale() {
    locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$' && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ko_KR.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
}

# The tests of double-byte code pages run Wine with the ANSI code pages 932 (Japanese) and 936 (Chinese), which need
# these locales on the Unix side.
ensure_double_byte_locales() {
    local sudo="" wanted missing=()
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    for wanted in ja_JP zh_CN; do
        locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8\$" && continue
        grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$wanted.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
        missing+=("$wanted")
    done
    [ ${#missing[@]} -eq 0 ] || $sudo locale-gen >/dev/null
}
