# A throwaway Wine world for one run: its own folder, X display (Xvfb unless told to use the user's),
# win32 prefix and persistent wineserver. Source it, call wine_env_start, and wine_env_stop on exit.
# shellcheck shell=bash

# wine_env_start [--use-display]
#   --use-display: keep the caller's $DISPLAY when it is set (the demo shows its window there).
wine_env_start() {
    local use_display=0
    [ "${1:-}" = "--use-display" ] && use_display=1
    WINE_ENV_DIR="$(mktemp -d "${TMPDIR:-/tmp}/autorun-wine.XXXXXX")"
    export WINE_ENV_DIR
    WINE_ENV_XVFB_PID=""
    if [ $use_display -eq 0 ] || [ -z "${DISPLAY:-}" ]; then
        : >"$WINE_ENV_DIR/display"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WINE_ENV_DIR/display" \
            >"$WINE_ENV_DIR/xvfb.log" 2>&1 </dev/null &
        WINE_ENV_XVFB_PID=$!
        export WINE_ENV_XVFB_PID
        local i
        for i in $(seq 1 100); do
            [ -s "$WINE_ENV_DIR/display" ] && break
            sleep 0.1
        done
        [ -s "$WINE_ENV_DIR/display" ] || { echo "Xvfb did not start" >&2; return 1; }
        export DISPLAY=":$(head -n1 "$WINE_ENV_DIR/display")"
    fi
    export WINEPREFIX="$WINE_ENV_DIR/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    # A persistent server started with no inherited pipes: every later wine call finds it warm, and no
    # background Wine process keeps a caller's pipe open.
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >"$WINE_ENV_DIR/wineboot.log" 2>&1
    # Windows' dialog font. Wine here loads only the fonts that fontconfig knows and those in the prefix's
    # Fonts folder, not its own data folder: without this copy a dialog asking for Tahoma gets DejaVu Sans,
    # whose wider dialog units make every dialog larger than on Windows.
    cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Unmanaged windows close at once (a managed one costs 2 s without a window manager), and no theme,
    # as on Windows for a program without a common-controls 6 manifest.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f \
        </dev/null >/dev/null 2>&1
}

wine_env_stop() {
    [ -n "${WINE_ENV_DIR:-}" ] || return 0
    local socket_dir=""
    [ -f "$WINEPREFIX/wineserver" ] && socket_dir="$(cat "$WINEPREFIX/wineserver" 2>/dev/null || true)"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    [ -n "$WINE_ENV_XVFB_PID" ] && kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    [ -n "$socket_dir" ] && rm -rf "/tmp/$socket_dir"
    rm -rf "$WINE_ENV_DIR"
    WINE_ENV_DIR=""
}
