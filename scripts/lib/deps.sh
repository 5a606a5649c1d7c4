# Installs the Debian packages the build and the tests need, once: nothing is fetched when all are there.
# shellcheck shell=bash

AUTORUN_PACKAGES=(
    cmake make g++ googletest
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    wine wine64 wine32:i386
    xvfb xauth x11-utils xdotool imagemagick
    python3 python3-pil python3-pytest fonts-dejavu-core
    clang libclang-rt-14-dev xorriso
)

ensure_packages() {
    local missing=()
    local p
    for p in "${AUTORUN_PACKAGES[@]}"; do
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
