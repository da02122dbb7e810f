#!/usr/bin/env bash
# Builds the Windows build, installs the product as a user gets it (the
# silent installer: KestrixTray.exe with the real main program, updater and
# help file beside it) into a Wine prefix of its own (build/win/wineprefix-run;
# never ~/.wine) whose virtual desktop has a taskbar and a notification area,
# and starts KestrixTray.exe there.
#
# The shipped build is the 32-bit one (build/win). On a machine that cannot
# run 32-bit code (the 32-bit Wine loader fails; KX_ASSUME_NO_32BIT=1 says so
# on any machine) the same sources are built for x86_64 (build/win64) and run
# under the 64-bit Wine loader.
#
#   bash scripts/start.sh [--screenshot-only] [--wait SECONDS]
#
# With a working $DISPLAY the desktop opens there and KestrixTray keeps
# running after the script ends. Without one the script starts its own Xvfb
# and keeps everything running until Ctrl-C. Either way, after a few seconds
# (--wait, default 8) it saves a screenshot of the screen and prints its path.
# --screenshot-only stops everything right after the screenshot.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
screenshot_only=no
wait_seconds=8
while [ $# -gt 0 ]; do
    case "$1" in
        --screenshot-only) screenshot_only=yes; shift ;;
        --wait) wait_seconds="$2"; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "start.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ "$wait_seconds" =~ ^[0-9]+$ ]] || { echo "start.sh: --wait takes whole seconds" >&2; exit 2; }

bash "$root/scripts/install-deps.sh"

# --- Which build this machine runs: a real probe, the 32-bit loader started.
if [ "${KX_ASSUME_NO_32BIT:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=i686 build="${KX_BUILD_DIR:-$root/build}/win"
    echo "== this machine runs 32-bit code: starting the shipped 32-bit build"
else
    arch=x86_64 build="${KX_BUILD_DIR:-$root/build}/win64"
    echo "== this machine cannot run 32-bit code (or KX_ASSUME_NO_32BIT=1): starting the x86_64 build under the 64-bit Wine loader"
    # The wine and wine-stable commands (and the wineboot and winecfg
    # launchers, which call wine-stable) would pick the 32-bit loader first.
    loader_dir="$build/loader64"
    mkdir -p "$loader_dir"
    for command in wine wine-stable; do
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$loader_dir/$command"
        chmod +x "$loader_dir/$command"
    done
    export PATH="$loader_dir:$PATH" WINELOADER=/usr/lib/wine/wine64
fi

echo "== building the Windows programs in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
cmake --build "$build"
setup="$build/product/KestrixSetup.exe"
[ -f "$setup" ] || { echo "start.sh: $setup was not built" >&2; exit 1; }

export WINEPREFIX="$build/wineprefix-run"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
artifacts="$build/artifacts"
shot="$artifacts/start-screenshot.png"
mkdir -p "$artifacts"

# --- The prefix, made once: Windows 10, one virtual desktop with a taskbar
# that every program of the prefix joins, no crash dialogs.
prefix_id="kx-run-2 $arch $(wine --version 2>/dev/null)"
if [ "$(cat "$WINEPREFIX/.kx-ready" 2>/dev/null || true)" != "$prefix_id" ]; then
    echo "== making the Wine prefix $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    (
        unset DISPLAY
        WINEARCH=win64 wine wineboot -i </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        wine winecfg -v win10 </dev/null >/dev/null 2>&1
        wineserver -w
    )
    printf '%s\n' "$prefix_id" >"$WINEPREFIX/.kx-ready"
fi

# A KestrixTray from an earlier start would make this one end at once.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true

# --- Everything this script starts under its own display is stopped here.
xvfb_pid="" own_display=no
stop_all() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    xvfb_pid=""
}
on_exit() {
    local status=$?
    trap - EXIT INT TERM HUP
    if [ "$own_display" = yes ] || [ "$screenshot_only" = yes ]; then stop_all; fi
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "== using the display $DISPLAY"
else
    range="${KX_XVFB_DISPLAYS:-100-119}"
    display=""
    for ((n = ${range%-*}; n <= ${range#*-}; n++)); do
        { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
        exec {fd}>"/tmp/.kx-xvfb-$n.lock"
        if ! flock -n "$fd"; then eval "exec ${fd}>&-"; continue; fi
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 50); do
            [ -S "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$pid" 2>/dev/null; then
            xvfb_pid=$pid display=":$n"  # the lock on fd stays held until the script ends
            break
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        eval "exec ${fd}>&-"
    done
    [ -n "$display" ] || { echo "start.sh: no free X display in $range" >&2; exit 1; }
    export DISPLAY="$display"
    own_display=yes
    echo "== no usable display: started Xvfb on $DISPLAY (PID $xvfb_pid)"
fi

# --- The product as a user gets it: the silent installer puts KestrixTray.exe,
# Kestrix.exe, KestrixUpdate.exe and Kestrix.chm into Program Files, writes
# the defaults and the logon entry, and starts KestrixTray.
if [ "$own_display" = yes ]; then
    # A wineserver that lasts as long as this script: it is stopped with it.
    wineserver -p </dev/null >/dev/null 2>&1
fi
run() {
    if [ "$own_display" = yes ] || [ "$screenshot_only" = yes ]; then
        "$@" </dev/null >/dev/null 2>&1 &
    else
        setsid "$@" </dev/null >/dev/null 2>&1 &
    fi
}
# Whether a process of this prefix (other prefixes may run their own) has a
# command line that matches the pattern.
running_in_prefix() {
    local pid
    for pid in $(pgrep -f "$1" 2>/dev/null); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
tray_running() { running_in_prefix 'KestrixTray\.exe'; }
# KestrixTray's own process, not a command that names it.
tray_process_running() { running_in_prefix '^[A-Za-z]:\\[^"]*\\KestrixTray\.exe( |$)'; }
echo "== installing the product with $(basename "$setup") /S"
# The desktop and its taskbar first (the prefix's first process starts them),
# so that the installer can start KestrixTray through the shell.
wine wineboot </dev/null >/dev/null 2>&1 || true
cd "$build/product"
# The Program Files folder of the build's bitness in a 64-bit prefix.
if [ "$arch" = i686 ]; then folder='C:\Program Files (x86)'; else folder='C:\Program Files'; fi
tray="$folder\\VELMOR\\Kestrix\\KestrixTray.exe"
# Under Wine a program the desktop shell starts (as the installer starts
# KestrixTray, to give it the signed-in user's token) does not count as a
# user of the virtual desktop: once the last process started otherwise has
# ended, the desktop process (explorer /desktop=...) closes the desktop a
# few seconds later and KestrixTray runs on with nothing on screen. So a
# waiting command holds the desktop for as long as the prefix runs (a
# KestrixTray started directly was seen not to hold it on its own), and once
# the KestrixTray the installer started runs, the script closes it and
# starts KestrixTray itself, as a sign-in would (the logon entry). Explorer
# inherits the debug channels and standard error of the first of them: its
# systray trace says when the icon is added.
install_log="$artifacts/start-install.log"
: >"$install_log"
export WINEDEBUG=-all,+systray
wine cmd.exe /c "set /p x=" < <(exec sleep infinity) >/dev/null 2>>"$install_log" &
keeper=$!
if ! wine KestrixSetup.exe /S </dev/null >/dev/null 2>>"$install_log"; then
    kill "$keeper" 2>/dev/null || true
    echo "start.sh: the silent installation failed" >&2
    exit 1
fi
for _ in $(seq 50); do tray_process_running && break; sleep 0.2; done
sleep 1  # its window comes a moment after the process
wine "$build/installer/kxacl.exe" close </dev/null >/dev/null 2>&1 || true
export WINEDEBUG=-all
echo kx-start-tray >>"$install_log"
run wine "$tray"
for _ in $(seq 50); do tray_process_running && break; sleep 0.2; done
sleep 2
for _ in $(seq 30); do tray_running && break; sleep 0.2; done
if ! tray_running; then
    echo "== starting $tray"
    run wine "$tray"
fi

sleep "$wait_seconds"
xwd -root -silent -display "$DISPLAY" | convert xwd:- "$shot"
if tray_running; then state="running"; else state="ended"; fi
echo "KestrixTray.exe is $state; screenshot of the desktop after $wait_seconds s:"
echo "$shot"

# --- What the screenshot shows: the desktop with its taskbar, and KestrixTray's icon in it.
problems=()
running_in_prefix 'explorer\.exe /desktop' || problems+=("the Wine desktop (explorer /desktop) has ended")
# The taskbar: the lowest rows of the 1024x768 desktop are drawn, not black.
taskbar_level="$(convert "$shot" -crop 1024x20+0+748 -colorspace Gray -format '%[fx:round(255*mean)]' info: 2>/dev/null || echo 0)"
[ "${taskbar_level:-0}" -ge 40 ] || problems+=("no taskbar at the bottom of the screenshot (mean level $taskbar_level of 255)")
# The icon: explorer added one after KestrixTray was started, and it stayed.
# Explorer's trace reaches the log only when this run started the desktop
# (a prefix made by an earlier run may have started it already), so the
# notification area of the screenshot is looked at too: the taskbar there is
# one flat colour unless an icon is drawn on it.
icon_events="$(sed -n '/kx-start-tray/,$p' "$install_log" | grep -E 'trace:systray:(add|delete)_icon' || true)"
tray_area_spread="$(convert "$shot" -crop 48x20+976+748 -colorspace Gray -format '%[fx:round(1000*standard_deviation)]' info: 2>/dev/null || echo 0)"
if ! grep -q 'add_icon' <<<"$icon_events" && [ "${tray_area_spread:-0}" -lt 50 ]; then
    problems+=("the taskbar received no icon from KestrixTray (explorer's trace: $install_log; notification area flat)")
elif grep -q 'delete_icon' <<<"$(sed -n '/add_icon/,$p' <<<"$icon_events")"; then
    problems+=("KestrixTray's icon was removed again (explorer's trace: $install_log)")
fi
[ "$state" = running ] || problems+=("KestrixTray.exe has ended")
if [ "${#problems[@]}" -gt 0 ]; then
    printf 'start.sh: the screenshot does not show KestrixTray on the Wine desktop:\n' >&2
    printf '  - %s\n' "${problems[@]}" >&2
    exit 1
fi
echo "== the desktop, its taskbar and KestrixTray's icon are on screen"

if [ "$screenshot_only" = yes ]; then
    exit 0
fi
if [ "$own_display" = yes ]; then
    echo "Xvfb $DISPLAY and KestrixTray keep running until Ctrl-C."
    while kill -0 "$xvfb_pid" 2>/dev/null; do sleep 1; done
else
    echo "KestrixTray keeps running in the desktop window; to stop it: WINEPREFIX=$WINEPREFIX wineserver -k"
fi
