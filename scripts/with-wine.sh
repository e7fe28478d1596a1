#!/bin/bash
# Run a command inside a private Wine environment: a fresh Wine prefix, a private Xvfb display and
# a warm wineserver, all stopped again (by process id) when the command ends, fails or is
# interrupted. The exit status is the command's.
#
#   scripts/with-wine.sh [--size WxH] [--depth D] [--dual | --screens N] [--dpi N] [--keep] -- COMMAND...
#   scripts/with-wine.sh --prepare
#
#   --size WxH    X screen size (default 1024x768; 1600x600 with --dual)
#   --depth D     colour depth: 24 (default), 16 or 8 (8 is PseudoColor, palette-managed)
#   --dual        two side-by-side monitors, each half of the X screen (--screens 2 says the same)
#   --dpi N       the system's pixels per inch, 96 (default, 100 %) to 480 (500 %)
#   --keep        keep the prefix afterwards and print where it is
#   --prepare     only make the template prefix (once), so that a later run starts at once
#
# The command sees DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, SAVERPAK_WINE_SCREEN
# (WxHxD of the X screen), SAVERPAK_WINE_MONITORS (1 or 2) and SAVERPAK_WINE_DPI so tests can
# check the layout.
#
# Why the environment looks like this (each point measured on this machine with Wine 8.0):
# - `wineboot -i` costs 6-9 s, so one template prefix is made once under build/wine/template and
#   each run gets a copy. The Windows binaries of the copy are hard links into the template (a
#   copy of 700 MB would cost ~2 s); every other file (registry, .ini files) is a real copy.
# - Xvfb runs with -noreset: otherwise it resets whenever its last client leaves, which loses the
#   pointer position and the monitor layout between two xdotool calls.
# - Managed=N: with managed windows and no window manager, DestroyWindow on a shown top-level
#   window stalls for 2 s.
# - winedbg.exe=d: a crash would otherwise open winedbg's dialog and hang the test forever; with
#   the debugger disabled a crashing program exits with status 5.
# - winealsa/winepulse disabled: there is no sound device, and ALSA would print 16 error lines
#   to stderr on every PlaySound.
# - winemenubuilder disabled: it would write menu entries and file associations into $HOME.
# - Two monitors: Xvfb's Xinerama heads overlap at 0,0 in Wine; a single wide screen split by
#   `xrandr --setmonitor` plus UseXRandR=N gives two side-by-side monitors.
# - DPI: Wine reads LogPixels from HKCU\Control Panel\Desktop once per process, for the system
#   DPI (GetDeviceCaps LOGPIXELSX, GetDpiForSystem, GetDpiForWindow; Wine has no per-monitor DPI).
#   It goes straight into the copied user.reg before the wineserver starts.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_dir="$root/build/wine"
template="$wine_dir/template"
# Bump when the template's recipe changes, so existing templates are rebuilt.
template_recipe=2

usage() {
    sed -n '5,15p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
die() { echo "with-wine: error: $*" >&2; exit 2; }
note() { echo "with-wine: $*" >&2; }

size=""
depth=24
monitors=1
dpi=96
keep=0
prepare=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --size) [[ $# -ge 2 ]] || usage; size="$2"; shift 2 ;;
        --size=*) size="${1#*=}"; shift ;;
        --depth) [[ $# -ge 2 ]] || usage; depth="$2"; shift 2 ;;
        --depth=*) depth="${1#*=}"; shift ;;
        --dual) monitors=2; shift ;;
        --screens) [[ $# -ge 2 ]] || usage; monitors="$2"; shift 2 ;;
        --screens=*) monitors="${1#*=}"; shift ;;
        --dpi) [[ $# -ge 2 ]] || usage; dpi="$2"; shift 2 ;;
        --dpi=*) dpi="${1#*=}"; shift ;;
        --keep) keep=1; shift ;;
        --prepare) prepare=1; shift ;;
        --) shift; break ;;
        -h|--help) usage ;;
        *) die "unknown option '$1' (the command follows '--')" ;;
    esac
done
[[ $# -gt 0 || $prepare == 1 ]] || usage
[[ "$monitors" == 1 || "$monitors" == 2 ]] || die "--screens must be 1 or 2, not '$monitors'"
[[ -n "$size" ]] || { [[ $monitors == 2 ]] && size=1600x600 || size=1024x768; }
[[ "$size" =~ ^([0-9]+)x([0-9]+)$ ]] || die "--size must look like 1024x768, not '$size'"
width=${BASH_REMATCH[1]}
height=${BASH_REMATCH[2]}
(( width >= 64 && height >= 64 && width <= 8192 && height <= 8192 )) \
    || die "--size $size is out of range (64..8192 each way)"
[[ "$depth" == 8 || "$depth" == 16 || "$depth" == 24 ]] || die "--depth must be 8, 16 or 24"
[[ "$dpi" =~ ^[0-9]{2,3}$ ]] && (( dpi >= 96 && dpi <= 480 )) \
    || die "--dpi must be a number from 96 to 480, not '$dpi'"
(( monitors == 1 || width % 2 == 0 )) || die "--dual needs an even screen width, not $width"
for tool in wine wineserver Xvfb; do
    command -v "$tool" >/dev/null || die "'$tool' is missing; run scripts/install-deps.sh"
done
(( monitors == 1 )) || command -v xrandr >/dev/null || die "'xrandr' is missing (x11-xserver-utils)"

export WINEDEBUG=-all
overrides="winedbg.exe=d;winealsa.drv,winepulse.drv=d;winemenubuilder.exe=d"
export WINEDLLOVERRIDES="$overrides${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
mkdir -p "$wine_dir"

# Removes a prefix and the socket folder Debian's wineserver made for it in /tmp (its name is kept
# in the prefix's "wineserver" file).
remove_prefix() {
    local prefix="$1" sockdir
    if [[ -f "$prefix/wineserver" ]]; then
        sockdir="$(head -c 200 "$prefix/wineserver")"
        if [[ "$sockdir" =~ ^wine-[A-Za-z0-9]+$ && -d "${TMPDIR:-/tmp}/$sockdir" ]]; then
            rm -rf "${TMPDIR:-/tmp}/${sockdir:?}"
        fi
    fi
    rm -rf "${prefix:?}"
}

# Stops the wineserver of a prefix (and with it every Wine process in it), waiting at most ~10 s.
stop_wineserver() {
    local prefix="$1"
    [[ -d "$prefix" ]] || return 0
    WINEPREFIX="$prefix" timeout 10 wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" timeout 10 wineserver -w >/dev/null 2>&1 || true
}

make_template() {
    local stamp_want
    stamp_want="recipe $template_recipe; $(wine --version 2>/dev/null)"
    if [[ -f "$template/saverpak-template" ]] \
       && [[ "$(cat "$template/saverpak-template")" == "$stamp_want" ]]; then
        return 0
    fi
    note "initialising the template prefix $template (once, ~10 s)"
    local tmp="$wine_dir/template.tmp.$$"
    remove_prefix "$tmp"
    # Without a display wineboot is faster, and nothing it records depends on the display.
    # No Mono or Gecko: nothing here needs them, and installing them would ask for a download.
    if ! env -u DISPLAY WINEPREFIX="$tmp" WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree,mshtml=" \
            wine wineboot -i >"$wine_dir/template.log" 2>&1; then
        stop_wineserver "$tmp"; remove_prefix "$tmp"
        die "wineboot failed; see $wine_dir/template.log"
    fi
    WINEPREFIX="$tmp" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >>"$wine_dir/template.log" 2>&1
    WINEPREFIX="$tmp" wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d "" /f \
        >>"$wine_dir/template.log" 2>&1
    # Let the wineserver exit by itself: it writes the registry files when it does.
    WINEPREFIX="$tmp" timeout 60 wineserver -w || true
    grep -q '"Managed"="N"' "$tmp/user.reg" || {
        remove_prefix "$tmp"; die "template registry was not written; see $wine_dir/template.log"; }
    echo "$stamp_want" > "$tmp/saverpak-template"
    # Each copy makes its own wineserver socket folder; the template's is no longer needed.
    local sockdir=""
    [[ -f "$tmp/wineserver" ]] && sockdir="$(head -c 200 "$tmp/wineserver")"
    if [[ "$sockdir" =~ ^wine-[A-Za-z0-9]+$ ]]; then
        rm -rf "${TMPDIR:-/tmp}/${sockdir:?}"
    fi
    rm -f "$tmp/wineserver"
    remove_prefix "$template"
    mv "$tmp" "$template"
}

# Several runs (and several engineers) may start at once: one of them builds the template.
exec {lock_fd}>"$wine_dir/template.lock"
flock "$lock_fd"
make_template
(( ! prepare )) || exit 0
# Runs killed outright (SIGKILL) leave their prefix behind; remove those whose owner is gone.
for stale in "$wine_dir"/run-* "$wine_dir"/template.tmp.*; do
    [[ -d "$stale" ]] || continue
    owner="${stale##*[-.]}"
    if [[ "$owner" =~ ^[0-9]+$ ]] && ! kill -0 "$owner" 2>/dev/null; then
        stop_wineserver "$stale"
        remove_prefix "$stale"
    fi
done

prefix="$wine_dir/run-$$"

xvfb_pid=""
cmd_pid=""
cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    if [[ -n "$cmd_pid" ]]; then
        # The command and everything it started form one process group.
        kill -TERM -- "-$cmd_pid" 2>/dev/null || true
    fi
    stop_wineserver "$prefix"
    if [[ -n "$xvfb_pid" ]]; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if (( keep )); then
        note "prefix kept in $prefix"
    else
        remove_prefix "$prefix"
    fi
    exit "$status"
}
on_signal() {
    note "interrupted"
    exit 130
}
trap cleanup EXIT
trap on_signal INT TERM HUP

remove_prefix "$prefix"
cp -al "$template" "$prefix"
flock -u "$lock_fd"
exec {lock_fd}>&-
# Break the hard links of everything that a program may rewrite in place; the Windows binaries
# and code pages stay shared with the template.
shared='dll\|exe\|drv\|sys\|ocx\|cpl\|acm\|ax\|tlb\|ds\|nls\|com\|msstyles'
find "$prefix" -type f -links +1 ! -iregex ".*/drive_c/windows/.*\.\($shared\)" \
    -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' sh {} +
if (( monitors == 2 )); then
    # Read by the X11 driver when its first process starts, so it goes straight into the file.
    sed -i 's/^"Managed"="N"$/"Managed"="N"\n"UseXRandR"="N"/' "$prefix/user.reg"
    grep -q '"UseXRandR"="N"' "$prefix/user.reg" || die "could not set UseXRandR=N"
fi
if (( dpi != 96 )); then
    # A second section of a key adds its values to the first; a fresh prefix has no LogPixels
    # there (the ones under Software\Wine\Fonts are Wine's record of the last DPI it saw).
    printf '\n[Control Panel\\\\Desktop]\n"LogPixels"=dword:%08x\n' "$dpi" >> "$prefix/user.reg"
fi

# Xvfb picks a free display number itself and writes it to the -displayfd descriptor once it
# accepts connections, so two runs never race for a number.
display_file="$prefix/xvfb-display"
: > "$display_file"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${width}x${height}x${depth}" \
    3>"$display_file" >"$prefix/xvfb.log" 2>&1 &
xvfb_pid=$!
for (( i = 0; i < 200; i++ )); do
    grep -q '^[0-9]' "$display_file" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$prefix/xvfb.log" >&2; die "Xvfb did not start"; }
    sleep 0.05
done
display_number="$(tr -dc '0-9' < "$display_file")"
[[ -n "$display_number" ]] || die "Xvfb did not report a display within 10 s"
export DISPLAY=":$display_number"
export WINEPREFIX="$prefix"
export SAVERPAK_WINE_SCREEN="${width}x${height}x${depth}"
export SAVERPAK_WINE_MONITORS="$monitors"
export SAVERPAK_WINE_DPI="$dpi"

if (( monitors == 2 )); then
    half=$(( width / 2 ))
    xrandr --setmonitor LEFT "${half}/203x${height}/152+0+0" screen >/dev/null
    xrandr --setmonitor RIGHT "${half}/203x${height}/152+${half}+0" none >/dev/null
fi

# Keep the wineserver (and Wine's services) running between the command's Wine processes: a cold
# start costs ~1 s a program, a warm one ~0.1 s. The first program with a window also starts
# Wine's desktop process (another second); start it now, so that no test pays for it.
wineserver -p
wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 \
    || die "Wine does not start in $prefix"

# The command runs in the background so that a signal reaches our trap at once, in a process
# group of its own (job control) so that the trap can stop it with all its children. Its standard
# input is passed on explicitly (a background job would otherwise read from /dev/null).
# CI may start us with no standard input at all.
if [[ -e /proc/$$/fd/0 ]]; then
    exec {stdin_fd}<&0
else
    exec {stdin_fd}</dev/null
fi
set -m
"$@" <&"$stdin_fd" &
cmd_pid=$!
set +m
set +e
wait "$cmd_pid"
status=$?
set -e
cmd_pid=""
exit "$status"
