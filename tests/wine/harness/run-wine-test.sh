#!/usr/bin/env bash
# Runs one integration test program of the Windows build under Wine, in a
# Wine prefix of its own, and leaves nothing running behind it.
#
#   run-wine-test.sh --build <build folder> --source <name>_test.cpp --exe <test exe> [--arch i686|x86_64]
#                    [-- <test arguments>]
#
# --arch is the processor of the build under test (default i686). An x86_64
# build runs under the 64-bit loader alone (/usr/lib/wine/wine64, through a
# `wine` wrapper first on PATH and WINELOADER), as on machines that cannot run
# 32-bit code at all, where the 32-bit loader fails with "Exec format error".
#
# The first line of the test source says what the test needs:
#   // wine-test: version=win7 desktop=yes timeout=120
#   version  what Windows reports (winecfg -v: win10, win81, win8, win7, vista, ...); default win10
#   desktop  yes: an Xvfb display and a Wine virtual desktop with a taskbar and
#            notification area; no: no display at all (Wine's null graphics driver); default no
#   timeout  seconds the test program may run; default 120
#   dpi      optional: the screen's pixels per inch (HKCU\Control Panel\Desktop LogPixels)
#            from the prefix's first process on, the taskbar included; default 96
#   bits     optional: 32 for a test of what only a 32-bit program shows; against
#            another build it is reported as skipped (exit code 77), with the
#            reason the source's second line gives, and never as passed
#   winedebug  optional: Wine debug channels let through for the test's programs
#            (e.g. warn+seh, where Wine 8 writes what a program sends to the
#            debug output); their lines also go to <artifacts>/wine-debug.log,
#            whose Windows path the test finds in KX_WINE_DEBUG_LOG
#
# Steps: a template prefix is made once per build folder (under a lock, so
# parallel ctest runs share it); each test gets a copy, its Windows version,
# its desktop, a persistent wineserver, and the build's bin folder as working
# folder. Screenshots and other artefacts go to <build>/artifacts/<name>/
# (KX_ARTIFACTS holds that folder as a Windows path); BMP files there are
# converted to PNG when ImageMagick is present, and a failed desktop test
# leaves screen-at-failure.png there. Each run appends its set-up, test and
# tear-down times to <build>/wine/timings.tsv. On every exit path the
# wineserver of the prefix is stopped, Xvfb is killed by its PID and the
# prefix is removed. The exit code is the test's (124 on a time-out).
#
# Environment: KX_XVFB_DISPLAYS (default 100-119) is the range of X display
# numbers the harness may use; KX_KEEP_PREFIX=1 keeps the prefix for a look.
set -euo pipefail

log() { printf '[wine-harness] %s\n' "$*" >&2; }
die() { log "error: $*"; exit 2; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

build="" source="" exe="" arch=i686
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --arch) arch="$2"; shift 2 ;;
        --source) source="$2"; shift 2 ;;
        --exe) exe="$2"; shift 2 ;;
        --) shift; break ;;
        *) die "unknown argument: $1" ;;
    esac
done
if [ -z "$build" ] || [ -z "$source" ] || [ -z "$exe" ]; then
    die "usage: $0 --build DIR --source FILE --exe FILE [-- ARGS]"
fi
[ -f "$source" ] || die "no test source $source"
[ -f "$exe" ] || die "no test program $exe (build the Windows build first)"
case "$arch" in i686|x86_64) ;; *) die "--arch must be i686 or x86_64" ;; esac
build="$(cd "$build" && pwd)"
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"

name="$(basename "$source" .cpp)"
name="${name%_test}"

# --- What the test needs, from its first line.
version=win10 desktop=no timeout=120 dpi="" bits="" winedebug=""
header="$(head -n 1 "$source")"
case "$header" in
    "// wine-test:"*) ;;
    *) die "$source does not begin with '// wine-test: version=... desktop=yes|no timeout=N'" ;;
esac
for field in ${header#"// wine-test:"}; do
    case "$field" in
        version=*) version="${field#version=}" ;;
        desktop=yes|desktop=no) desktop="${field#desktop=}" ;;
        timeout=*) timeout="${field#timeout=}" ;;
        dpi=*) dpi="${field#dpi=}" ;;
        bits=32) bits=32 ;;
        winedebug=*) winedebug="${field#winedebug=}" ;;
        *) die "unknown field '$field' in the first line of $source" ;;
    esac
done
if ! [[ "$timeout" =~ ^[0-9]+$ ]] || [ "$timeout" -eq 0 ]; then die "timeout must be a number of seconds"; fi
if [ "$bits" = 32 ] && [ "$arch" != i686 ]; then
    reason="$(sed -n '2s|^// *||p' "$source")"
    printf 'skipped: %s checks what only the 32-bit build can show, and the build under test is %s: %s\n' \
        "$name" "$arch" "${reason:-no reason given}"
    exit 77
fi

# --- The loader. The x86_64 build runs under the 64-bit loader alone: the
# `wine` and `wine-stable` commands (and the wineboot and winecfg launchers,
# which call wine-stable) would pick the 32-bit loader first.
if [ "$arch" = x86_64 ]; then
    [ -x /usr/lib/wine/wine64 ] || die "the 64-bit Wine loader /usr/lib/wine/wine64 is not installed"
    loader_dir="$build/wine/loader64"
    mkdir -p "$loader_dir"
    for command in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$loader_dir/$command.new.$$"
        chmod +x "$loader_dir/$command.new.$$"
        mv -f "$loader_dir/$command.new.$$" "$loader_dir/$command"
    done
    export PATH="$loader_dir:$PATH"
fi
command -v wine >/dev/null || die "wine is not installed"

export WINEDEBUG=-all
# No Mono or Gecko installer prompts, no menu entries in the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINESERVER WINELOADER || true
if [ "$arch" = x86_64 ]; then export WINELOADER=/usr/lib/wine/wine64; fi

wine_root="$build/wine"
template="$wine_root/template"
mkdir -p "$wine_root/run" "$build/artifacts"

# --- Everything started below is stopped here, whatever happens.
prefix="" xvfb_pid="" server_started=no display_lock_fd="" setup_secs="" test_secs=""
# shellcheck disable=SC2317  # reached through the EXIT trap
cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    set +e
    local teardown_start
    teardown_start="$(now)"
    if [ "$server_started" = yes ]; then
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
        WINEPREFIX="$prefix" timeout 10 wineserver -w >/dev/null 2>&1
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if [ -n "$display_lock_fd" ]; then
        eval "exec ${display_lock_fd}>&-"
    fi
    if [ -n "$prefix" ] && [ -d "$prefix" ] && [ "${KX_KEEP_PREFIX:-0}" != 1 ]; then
        rm -rf "$prefix"
    fi
    if [ -n "$prefix" ]; then
        local teardown_secs
        teardown_secs="$(elapsed "$teardown_start")"
        log "$name: stopped and cleaned up in $teardown_secs s"
        # One line per run, for measuring what Wine's start-up costs a test run.
        printf '%s\tprefix %s\ttest %s\tteardown %s\texit %s\n' "$name" "${setup_secs:-0}" "${test_secs:-0}" \
            "$teardown_secs" "$status" >>"$wine_root/timings.tsv"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# --- Prefixes left behind by a harness that was killed outright.
# Each prefix is named <test>.<PID of its harness>.
for stale in "$wine_root"/run/*.*; do
    [ -d "$stale" ] || continue
    owner="${stale##*.}"
    [[ "$owner" =~ ^[0-9]+$ ]] || continue
    if kill -0 "$owner" 2>/dev/null; then continue; fi
    WINEPREFIX="$stale" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$stale"
done

# --- The template prefix, once per build folder and Wine release.
template_id="kx-template-1 $arch $(wine --version 2>/dev/null)"
start="$(now)"
exec {template_lock}>"$wine_root/template.lock"
flock "$template_lock"
if [ "$(cat "$template/.kx-ready" 2>/dev/null || true)" != "$template_id" ]; then
    log "making the template prefix (once per build folder)"
    rm -rf "$template"
    (
        # shellcheck disable=SC2030  # the template's own environment, in this subshell only
        export WINEPREFIX="$template" WINEARCH=win64
        unset DISPLAY
        wine wineboot -i </dev/null >/dev/null 2>&1
        # A crashing program ends instead of waiting on a debugger dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        wineserver -w
    ) || die "wineboot failed to make the template prefix"
    printf '%s\n' "$template_id" >"$template/.kx-ready"
    log "template prefix made in $(elapsed "$start") s"
    printf 'template\tmade %s\n' "$(elapsed "$start")" >>"$wine_root/timings.tsv"
fi
flock -u "$template_lock"
exec {template_lock}>&-

# --- This test's prefix: a copy of the template. The program folders of
# Windows (more than a gigabyte, never written to by a running test) are
# shared by hard links unless the file system can copy them cheaply.
setup_start="$(now)"
prefix="$wine_root/run/$name.$$"
rm -rf "$prefix"
mkdir -p "$prefix"
reflink_probe="$wine_root/run/.reflink-probe.$$"
if cp --reflink=always "$template/.kx-ready" "$reflink_probe" 2>/dev/null; then
    rm -f "$reflink_probe"
    cp -a --reflink=always "$template/." "$prefix/"
else
    rm -f "$reflink_probe"
    (
        cd "$template"
        for entry in .[!.]* *; do
            [ -e "$entry" ] || continue
            [ "$entry" = drive_c ] || cp -a "$entry" "$prefix/"
        done
        mkdir -p "$prefix/drive_c/windows"
        cd drive_c
        for entry in .[!.]* *; do
            [ -e "$entry" ] || continue
            [ "$entry" = windows ] || cp -a "$entry" "$prefix/drive_c/"
        done
        cd windows
        for entry in .[!.]* *; do
            [ -e "$entry" ] || continue
            case "$entry" in
                system32|syswow64|winsxs) cp -al "$entry" "$prefix/drive_c/windows/" ;;
                *) cp -a "$entry" "$prefix/drive_c/windows/" ;;
            esac
        done
    )
fi
rm -f "$prefix/.kx-ready"

# The desktop is chosen before the first process of the prefix starts, so it
# goes straight into the registry file.
if [ "$desktop" = yes ]; then
    printf '\n[Software\\\\Wine\\\\Explorer]\n"Desktop"="shell"\n\n[Software\\\\Wine\\\\Explorer\\\\Desktops]\n"shell"="1024x768"\n' >>"$prefix/user.reg"
else
    printf '\n[Software\\\\Wine\\\\Drivers]\n"Graphics"="null"\n' >>"$prefix/user.reg"
fi
# The screen's scaling too, before explorer (the taskbar) starts with the first process.
if [ -n "$dpi" ]; then
    [[ "$dpi" =~ ^[0-9]+$ ]] || die "dpi must be a number of pixels per inch"
    printf '\n[Control Panel\\\\Desktop]\n"LogPixels"=dword:%08x\n' "$dpi" >>"$prefix/user.reg"
fi
# shellcheck disable=SC2031
export WINEPREFIX="$prefix"

# --- A display of our own for a desktop test.
if [ "$desktop" = yes ]; then
    command -v Xvfb >/dev/null || die "Xvfb is not installed"
    range="${KX_XVFB_DISPLAYS:-100-119}"
    first="${range%-*}" last="${range#*-}"
    display=""
    for ((n = first; n <= last; n++)); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        exec {fd}>"/tmp/.kx-xvfb-$n.lock"
        if ! flock -n "$fd"; then
            eval "exec ${fd}>&-"
            continue
        fi
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 50); do
            [ -S "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; then
            xvfb_pid=$pid display=":$n" display_lock_fd=$fd
            break
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        eval "exec ${fd}>&-"
    done
    [ -n "$display" ] || die "no free X display in $range"
    export DISPLAY="$display"
else
    unset DISPLAY
fi

# --- A wineserver that stays for the whole test (each Wine start then costs
# milliseconds, not seconds). Its output must not hold ctest's pipes open.
wineserver -p </dev/null >/dev/null 2>&1
server_started=yes
wine wineboot </dev/null >/dev/null 2>&1 || die "wineboot failed in the test prefix"
wine winecfg -v "$version" </dev/null >/dev/null 2>&1 || die "winecfg does not know the Windows version '$version'"

artifacts="$build/artifacts/$name"
rm -rf "$artifacts"
mkdir -p "$artifacts"
# Drive Z: is the Unix root in every prefix.
KX_ARTIFACTS="Z:${artifacts//\//\\}"
export KX_ARTIFACTS
setup_secs="$(elapsed "$setup_start")"
log "$name: version=$version desktop=$desktop${DISPLAY:+ display=$DISPLAY} timeout=${timeout}s; prefix ready in $setup_secs s"

# --- The test itself, with the programs of the build beside it.
cd "$build/bin"
test_start="$(now)"
set +e
if [ -n "$winedebug" ]; then
    debug_log="$artifacts/wine-debug.log"
    : >"$debug_log"
    KX_WINE_DEBUG_LOG="Z:${debug_log//\//\\}"
    export KX_WINE_DEBUG_LOG
    WINEDEBUG="-all,$winedebug" timeout -k 10 "$timeout" wine "$exe" "$@" </dev/null 2> >(tee -a "$debug_log" >&2)
    rc=$?
else
    timeout -k 10 "$timeout" wine "$exe" "$@" </dev/null
    rc=$?
fi
set -e
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    log "$name: timed out after ${timeout} s"
    rc=124
fi
test_secs="$(elapsed "$test_start")"
log "$name: test ran $test_secs s, exit code $rc"

# A failed desktop test leaves a picture of the screen as it was at its end.
if [ "$rc" -ne 0 ] && [ "$desktop" = yes ] && command -v xwd >/dev/null && command -v convert >/dev/null; then
    xwd -root -silent -display "$DISPLAY" 2>/dev/null | convert xwd:- "$artifacts/screen-at-failure.png" 2>/dev/null &&
        log "$name: screen at the end of the failed run: $artifacts/screen-at-failure.png"
fi

if command -v convert >/dev/null; then
    for bmp in "$artifacts"/*.bmp; do
        [ -f "$bmp" ] || continue
        convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
    done
fi
exit "$rc"
