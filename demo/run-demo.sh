#!/bin/bash
# Runs the packed demo saver full-screen inside scripts/with-wine.sh and takes screenshots:
#   running.png    the module's snow, shortly after the saver started
#   restarted.png  the snow again, after the module ended by itself and the saver restarted it
# then ends the saver with a mouse movement, as a user would; then
#   preview.png    the display control panel's preview (152 x 112), drawn in-process by
#                  PreviewProbe.exe when scripts/demo.sh could pack it
#   configure.png  the configuration dialog (/c) with the logo, closed again with Escape
#   slideshow.png  the picture saver (Pictures.scr) showing its first picture full-screen
set -euo pipefail
out="${1:?usage: run-demo.sh DEMO-FOLDER}"
cd "$out"

source "$(dirname "${BASH_SOURCE[0]}")/../tests/wine/poll.sh"
# The module is known by its window and that window's process, wherever the saver put its
# program: a restarted module is a new process (Wine gives each window its process's id).
module_window() { xdotool search --onlyvisible --name '^Snowfall$' 2>/dev/null | head -1; }
module_visible() { [[ -n "$(module_window)" ]]; }
module_process() {
    local window; window="$(module_window)"
    [[ -n "$window" ]] && xdotool getwindowpid "$window" 2>/dev/null
}
module_replaced() { local now; now="$(module_process)"; [[ -n "$now" && "$now" != "$first" ]]; }
saver_gone() { ! kill -0 "$saver" 2>/dev/null; }

SNOWFALL_SECONDS=4 wine Snowfall.scr /s &
saver=$!
wait_for 30 module_visible || { echo "demo: the module's window did not appear" >&2; exit 1; }
first="$(module_process)"
[[ -n "$first" ]] || { echo "demo: the module's window names no process" >&2; exit 1; }
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

if [[ -f PreviewProbe.exe ]]; then
    rm -f preview.out preview.stop
    wine PreviewProbe.exe show "$(win_path "$PWD/preview.stop")" 20000 > preview.out 2>/dev/null &
    preview=$!
    wait_for 30 grep -qs '^ready' preview.out || { echo "demo: the preview did not show" >&2; exit 1; }
    origin="$(tr -d '\r' < preview.out | sed -n 's/^origin=//p')"
    import -window root -crop "152x112+${origin%,*}+${origin#*,}" +repage preview.png
    touch preview.stop
    wait "$preview" || { echo "demo: the preview failed: $(cat preview.out)" >&2; exit 1; }
    echo "demo: the preview showed the first picture, centred"
fi

wine Snowfall.scr /c &
dialog=$!
dialog_window() { xdotool search --onlyvisible --name '^Snowfall Screen Saver$' 2>/dev/null | head -1; }
# Ready once it has the keyboard focus: the logo is in and the form fitted to it by then.
dialog_ready() { local w; w="$(dialog_window)"; [[ -n "$w" && "$(xdotool getwindowfocus 2>/dev/null)" == "$w" ]]; }
dialog_gone() { ! kill -0 "$dialog" 2>/dev/null; }
wait_for 30 dialog_ready || { echo "demo: the configuration dialog did not appear" >&2; exit 1; }
import -window "$(dialog_window)" configure.png
xdotool key Escape
wait_for 10 dialog_gone || { echo "demo: the configuration dialog did not close on Escape" >&2; exit 1; }
wait "$dialog" || true
echo "demo: the configuration dialog showed the logo and closed on Escape"

# The picture saver: our slideshow, its first picture filled to the screen.
wine Pictures.scr /s &
saver=$!
slideshow_window() { xdotool search --onlyvisible --name '^Slideshow$' 2>/dev/null | head -1; }
# A picture shows once the middle of the screen is no longer black.
picture_shown() {
    [[ -n "$(slideshow_window)" ]] &&
        [[ "$(import -window root -gravity center -crop 1x1+0+0 -format '%[max]' info: 2>/dev/null)" != 0 ]]
}
wait_for 30 picture_shown || { echo "demo: the slideshow showed no picture" >&2; exit 1; }
import -window root slideshow.png
xdotool mousemove_relative -- -40 0
wait_for 10 saver_gone || { echo "demo: the picture saver did not close on a mouse movement" >&2; exit 1; }
wait "$saver" || true
echo "demo: the picture saver showed its pictures and closed on a mouse movement"
