#!/bin/bash
# Proves that the rig's screenshots show what a Windows program painted, that xdotool input
# reaches it, and that a crashing program ends with a status instead of hanging.
#   ScreenshotCheck.sh RIG_WINDOW_EXE WORK_DIR      (run under scripts/with-wine.sh)
set -euo pipefail

exe="$1"
work="$2/rig-screenshot"
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ -n "${DISPLAY:-}" && -n "${WINEPREFIX:-}" ]] \
    || fail "no DISPLAY/WINEPREFIX: run the windows tests under scripts/with-wine.sh"
mkdir -p "$work"

# Prints the colour at x,y of the X screen as "r,g,b".
pixel_at() {
    import -window root "$work/shot.png"
    local at="p{$1,$2}"
    convert "$work/shot.png" -format \
        "%[fx:int(255*$at.r+0.5)],%[fx:int(255*$at.g+0.5)],%[fx:int(255*$at.b+0.5)]" info:
}

# At 24 bits any colour shows exactly; at 16 bits colours are rounded to RGB565 and at 8 bits only
# the 20 system colours show, so there a pure system colour is used.
if [[ "${SAVERPAK_WINE_SCREEN:-}" == *x24 ]]; then
    colour=(0 128 255)
else
    colour=(255 0 255)
fi
want="$(IFS=,; echo "${colour[*]}")"
wine "$exe" "${colour[@]}" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# The X window's class is the program's file name.
timeout 20 xdotool search --sync --onlyvisible --classname "$(basename "$exe")" >/dev/null \
    || fail "the window did not appear within 20 s"
# Shown is not yet painted: poll the screen until the colour is there.
got=""
for (( i = 0; i < 100; i++ )); do
    got="$(pixel_at 10 10)"
    [[ "$got" == "$want" ]] && break
    sleep 0.1
done
[[ "$got" == "$want" ]] || fail "pixel (10,10) is $got, expected $want"
got="$(pixel_at $(( $(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1] - 1 }') )) 5)"
[[ "$got" == "$want" ]] \
    || fail "the right edge is $got, expected $want (the window does not cover the screen)"
echo "screenshot shows the window's colour $want"

xdotool key a
status=0
timeout 20 tail --pid="$pid" -f /dev/null || fail "the window did not close after a key press"
wait "$pid" || status=$?
trap - EXIT
[[ $status == 0 ]] || fail "the window exited with $status after the key press, expected 0"
echo "a key press closed the window"

status=0
timeout 60 wine "$exe" crash || status=$?
[[ $status == 5 ]] || fail "a crashing program exited with $status, expected 5 (no debugger dialog)"
echo "a crash ends the program with status 5"
