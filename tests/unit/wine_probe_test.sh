#!/usr/bin/env bash
# Which launcher the Wine layers run: the shipped 32-bit one where Wine's 32-bit loader runs, else the 64-bit twin.
# The loader is overridden so that both answers are reached on any machine: a loader that runs, one that the kernel
# refuses ("Exec format error", as on a host without IA-32 emulation), one that is missing, and the forcing switch.
set -u
lib="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '\177ELF\001\001\001\000garbage' >"$work/foreign-loader"
chmod +x "$work/foreign-loader"
failures=0

# probe NAME EXPECTED_BUILD EXPECTED_TEXT_IN_NOTICE [VAR=VALUE ...]
probe() {
    local name="$1" build="$2" text="$3"
    shift 3
    local got
    got="$(env -u AUTORUN_WINE_BUILD -u AUTORUN_WINE_WHY -u AUTORUN_TWIN -u AUTORUN_WINE32_LOADER "$@" bash -c '
        source "$1/wine-env.sh"
        notice="$(wine_build_notice)"
        wine_pick_build
        printf "%s|%s|%s" "$AUTORUN_WINE_BUILD" "$(printf "%s" "$notice" | wc -l)" "$notice"' probe "$lib")"
    local got_build="${got%%|*}" rest="${got#*|}"
    local lines="${rest%%|*}" notice="${rest#*|}"
    if [ "$got_build" != "$build" ] || [ "$lines" != 0 ] || [[ "$notice" != *"$text"* ]]; then
        echo "FAIL $name: build '$got_build' (want $build), notice '$notice' (want one line with '$text')"
        failures=$((failures + 1))
    else
        echo "ok   $name: $got_build${notice:+: $notice}"
    fi
}

probe "a loader that runs" win32 "" AUTORUN_WINE32_LOADER=/bin/true
probe "a loader the kernel cannot run" win64 "Exec format error" AUTORUN_WINE32_LOADER="$work/foreign-loader"
probe "no loader" win64 "No such file" AUTORUN_WINE32_LOADER="$work/missing"
probe "the twin asked for" win64 "AUTORUN_TWIN=1" AUTORUN_WINE32_LOADER=/bin/true AUTORUN_TWIN=1
probe "an answer given by the caller" win64 "AUTORUN_WINE_BUILD=win64" AUTORUN_WINE32_LOADER=/bin/true AUTORUN_WINE_BUILD=win64
[ "$failures" -eq 0 ]
