#!/bin/bash
# Runs the packed demo saver full-screen inside scripts/with-wine.sh and takes screenshots:
#   running.png    the module's snow, shortly after the saver started
#   restarted.png  the snow again, after the module ended by itself and the saver restarted it
# then ends the saver with a mouse movement, as a user would.
set -euo pipefail
out="${1:?usage: run-demo.sh DEMO-FOLDER}"
cd "$out"

source "$(dirname "${BASH_SOURCE[0]}")/../tests/wine/poll.sh"
module_processes() { pgrep -f 'Temp.Snowfall\.exe' || true; }
module_visible() { xdotool search --onlyvisible --name '^Snowfall$' >/dev/null 2>&1; }
module_replaced() { local now; now="$(module_processes)"; [[ -n "$now" && "$now" != "$first" ]]; }
saver_gone() { ! kill -0 "$saver" 2>/dev/null; }

SNOWFALL_SECONDS=4 wine Snowfall.scr /s &
saver=$!
wait_for 30 module_visible || { echo "demo: the module's window did not appear" >&2; exit 1; }
first="$(module_processes)"
wait_for 2 false || true   # let the snow fall for a moment
import -window root running.png

wait_for 30 module_replaced || { echo "demo: the module was not restarted" >&2; exit 1; }
wait_for 10 module_visible
wait_for 1 false || true
import -window root restarted.png

xdotool mousemove_relative 40 0
wait_for 10 saver_gone || { echo "demo: the saver did not close on a mouse movement" >&2; exit 1; }
wait "$saver" || true
echo "demo: the saver ran its module, restarted it, and closed on a mouse movement"
