# A throwaway Wine world for one run: its own folder, X display (Xvfb unless told to use the user's),
# prefix and persistent wineserver. Source it, call wine_env_start, and wine_env_stop on exit.
#
# Which launcher a world runs: the shipped 32-bit one (build/win32) in a win32 prefix where this machine runs Wine's
# 32-bit loader, else its 64-bit twin (build/win64) in a win64 prefix. wine_pick_build asks once per run, by running
# the loader (some kernels run no 32-bit programs at all: "Exec format error"), and exports the answer:
#   AUTORUN_WINE_BUILD   win32 or win64 (set beforehand, it is taken as the answer)
#   AUTORUN_WINE_WHY     why the twin, empty for the shipped launcher
# AUTORUN_TWIN=1 forces the twin; AUTORUN_WINE32_LOADER names another 32-bit loader to try (a test can make it fail).
# shellcheck shell=bash

wine_pick_build() {
    if [ -n "${AUTORUN_WINE_BUILD:-}" ]; then
        [ "$AUTORUN_WINE_BUILD" = win32 ] || : "${AUTORUN_WINE_WHY:=AUTORUN_WINE_BUILD=$AUTORUN_WINE_BUILD asks for it}"
        export AUTORUN_WINE_WHY="${AUTORUN_WINE_WHY:-}"
        return 0
    fi
    local loader="${AUTORUN_WINE32_LOADER:-/usr/lib/wine/wine}" error
    AUTORUN_WINE_WHY=""
    if [ "${AUTORUN_TWIN:-0}" = 1 ]; then
        AUTORUN_WINE_BUILD=win64
        AUTORUN_WINE_WHY="AUTORUN_TWIN=1 asks for the 64-bit twin"
    elif error="$("$loader" --version 2>&1 </dev/null)"; then
        AUTORUN_WINE_BUILD=win32
    else
        AUTORUN_WINE_BUILD=win64
        error="$(printf '%s' "$error" | tail -n 1)"
        AUTORUN_WINE_WHY="Wine's 32-bit loader does not run here ($loader: ${error##*: })"
    fi
    export AUTORUN_WINE_BUILD AUTORUN_WINE_WHY
}

# The one line that says, where the twin stands in, what is missing and what runs instead.
wine_build_notice() {
    wine_pick_build
    [ "$AUTORUN_WINE_BUILD" = win64 ] || return 0
    echo "Note: $AUTORUN_WINE_WHY: Wine runs the 64-bit twin build/win64/autorun.exe in a 64-bit prefix instead;" \
        "the shipped 32-bit build/win32/autorun.exe runs only in an emulated machine (scripts/vm32)."
}

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
    wine_pick_build
    export WINEPREFIX="$WINE_ENV_DIR/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ "$AUTORUN_WINE_BUILD" = win64 ]; then
        # Debian's wine and wineboot always pick the 32-bit loader when it is installed: every wine command of
        # this world, the tests' included, finds these first on PATH and runs the 64-bit loader.
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        mkdir -p "$WINE_ENV_DIR/bin"
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$WINE_ENV_DIR/bin/wine"
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' >"$WINE_ENV_DIR/bin/wineboot"
        chmod +x "$WINE_ENV_DIR/bin/wine" "$WINE_ENV_DIR/bin/wineboot"
        export PATH="$WINE_ENV_DIR/bin:$PATH"
    else
        export WINEARCH=win32
    fi
    mkdir -p "$WINEPREFIX"
    # A persistent server started with no inherited pipes: every later wine call finds it warm, and no
    # background Wine process keeps a caller's pipe open.
    wineserver -p </dev/null >/dev/null 2>&1
    if ! wineboot -i </dev/null >"$WINE_ENV_DIR/wineboot.log" 2>&1; then
        echo "Wine could not make its prefix (wineboot; log: $WINE_ENV_DIR/wineboot.log):" >&2
        tail -n 5 "$WINE_ENV_DIR/wineboot.log" >&2
        return 1
    fi
    # Windows' dialog font. Wine here loads only the fonts that fontconfig knows and those in the prefix's
    # Fonts folder, not its own data folder: without this copy a dialog asking for Tahoma gets DejaVu Sans,
    # whose wider dialog units make every dialog larger than on Windows.
    cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Unmanaged windows close at once (a managed one costs 2 s without a window manager), and no theme,
    # as on Windows for a program without a common-controls 6 manifest.
    wine_env_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f || return 1
    wine_env_reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f ||
        return 1
}

# wine_env_reg ARGS...: Wine's reg.exe, named by its path. Given the bare name `reg`, Wine starts start.exe, which
# looks it up with ShellExecuteEx and starts it as a second process; on a busy machine that lookup now and then
# fails before reg runs. A world whose settings did not take is no world to test in: that is said, not hidden.
wine_env_reg() {
    local out="$WINE_ENV_DIR/reg.log"
    if ! wine 'C:\windows\system32\reg.exe' "$@" </dev/null >"$out" 2>&1; then
        echo "Wine's reg.exe failed (reg $*):" >&2
        tail -n 5 "$out" >&2
        return 1
    fi
}

wine_env_stop() {
    [ -n "${WINE_ENV_DIR:-}" ] || return 0
    local socket_dir=""
    [ -f "$WINEPREFIX/wineserver" ] && socket_dir="$(cat "$WINEPREFIX/wineserver" 2>/dev/null || true)"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    [ -n "$WINE_ENV_XVFB_PID" ] && kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    [ -n "$socket_dir" ] && rm -rf "/tmp/$socket_dir"
    rm -rf "$WINE_ENV_DIR"
    case ":$PATH:" in
    *":$WINE_ENV_DIR/bin:"*) PATH="${PATH/#$WINE_ENV_DIR\/bin:/}" ;;
    esac
    WINE_ENV_DIR=""
}
