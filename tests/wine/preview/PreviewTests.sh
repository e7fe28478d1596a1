#!/bin/bash
# The saver's preview and configuration dialog under Wine, on the virtual display that
# scripts/with-wine.sh provides: pictures drawn by ImageMagick, containers packed by saverpak,
# the preview drawn in-process by PreviewProbe (a program that carries the saver's windows and a
# container of its own), the real saver's /p and /c modes driven with real input from xdotool
# and looked at from outside with ShellProbe.
#
#   PreviewTests.sh SCENARIO SAVER SAVERPAK PREVIEW-PROBE SHELL-PROBE LINK-TARGET WORK-FOLDER
#
# Every wait polls with a deadline; nothing sleeps to synchronise with Wine. Prints
# "PASS [SCENARIO]" when every check held.
set -uo pipefail
scenario="$1" saver="$2" saverpak="$3" preview_probe="$4" shell_probe="$5" link_target="$6"
work="$7"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
current="$scenario"
source "$source_dir/../scenario_start.sh" "$work" "$shell_probe"
SHELL_PROBE="$shell_probe" SCENARIO_WORK="$work"
source "$source_dir/../saver_scenarios.sh"
root="$(cd "$source_dir/../../.." && pwd)"
cd "$work"

pids=()
cleanup() {
    touch "$work/stop"
    stop_probe_hosts
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    probe reg-delete 'Software\Saverpak\PreviewTest'
}
trap cleanup EXIT

# pack NAME MANIFEST-BODY [STUB]: packs $work/NAME.scr (or NAME.exe around a program stub).
pack() {
    local name="$1" body="$2" stub="${3:-$saver}" out
    # The preview shows pictures only; the program the saver would run full-screen is named
    # (an external one, never run here) because a saver must have one.
    printf '%s\n[[module]]\nexternal = true\nname = %s\n' "$body" "'C:\Show\show.exe'" \
        > "$work/$name.toml"
    [[ "$stub" == "$saver" ]] && out="$work/$name.scr" || out="$work/$name.exe"
    wine "$saverpak" build --stub "$(win_path "$stub")" --manifest "$(win_path "$work/$name.toml")" \
        -o "$(win_path "$out")" >/dev/null 2>"$work/$name.pack.log" ||
        { cat "$work/$name.pack.log"; fail "cannot pack $name"; return 1; }
}
settings() {  # settings LINK MUSIC [CAPTION]
    printf '[settings]\nlink = %s\ncaption = "%s"\nmusic = %s\n' "'$1'" "${3:-Example link}" "$2"
}
pictures() { local f; for f in "$@"; do printf '\n[[picture]]\nfile = "%s"\n' "$f"; done; }

# "R G B" of the screenshot pixel at x y.
shot_pixel() { pixel "$@" | tr , ' '; }
# near R G B  R2 G2 B2: every channel within 14 (a 16-bit screen rounds to 5-6-5 bits).
near() {
    local d
    for d in $(($1 - $4)) $(($2 - $5)) $(($3 - $6)); do ((d >= -14 && d <= 14)) || return 1; done
}
check_pixel() {  # check_pixel SHOT X Y R G B WHAT
    local got; got="$(shot_pixel "$1" "$2" "$3")"
    near $got $4 $5 $6 || fail "$7: pixel ($2,$3) is $got, want $4 $5 $6"
}

# ---- The preview drawn in-process ----

probe_out=""
# run_preview NAME: the packed probe shows its preview; waits for "ready".
run_preview() {
    probe_out="$work/$1.out"
    rm -f "$work/stop"
    # Straight into the file: a pipe through tr would hold the lines back until the end.
    wine "$work/$1.exe" show "$(win_path "$work/stop")" 20000 > "$probe_out" 2>/dev/null &
    preview_pid=$!
    pids+=("$preview_pid")
    wait_for 30 grep -qs '^ready\|^timeout' "$probe_out" || fail "the preview never finished"
}
end_preview() {
    touch "$work/stop"
    wait_for 20 bash -c "! kill -0 $preview_pid 2>/dev/null" || fail "the preview did not end with its host"
    wait "$preview_pid" || fail "the probe failed: $(cat "$probe_out")"
}
value() { tr -d '\r' < "$probe_out" | sed -n "s/^$1=//p" | head -1; }
expect() {  # expect KEY VALUE
    [[ "$(value "$1")" == "$2" ]] || fail "$1 is '$(value "$1")', want '$2'"
}

scenario_preview_centred() {
    convert -size 100x61 'xc:rgb(255,128,0)' -type TrueColor BMP3:centre.bmp
    convert -size 30x30 'xc:rgb(0,0,255)' -type TrueColor BMP3:logo.bmp
    pack centred "$(settings https://example.com true; pictures centre.bmp logo.bmp)" "$preview_probe" || return
    run_preview centred
    expect state 3
    expect palette 0
    expect box 152x112
    expect picture "100x61 bits=24"
    # (152 - 100) / 2 = 26 and (112 - 61) / 2 = 25 (truncated): the extra pixel goes below.
    expect painted "26,25-125,85"
    expect corner 000000
    local origin x y; origin="$(value origin)"; x="${origin%,*}"; y="${origin#*,}"
    import -window root "$work/centred.png"
    check_pixel centred.png $((x + 76)) $((y + 55)) 255 128 0 "centre"
    check_pixel centred.png $((x + 26)) $((y + 25)) 255 128 0 "picture's top-left"
    check_pixel centred.png $((x + 125)) $((y + 85)) 255 128 0 "picture's bottom-right"
    check_pixel centred.png $((x + 25)) $((y + 55)) 0 0 0 "left margin"
    check_pixel centred.png $((x + 126)) $((y + 55)) 0 0 0 "right margin"
    check_pixel centred.png $((x + 76)) $((y + 24)) 0 0 0 "top margin"
    check_pixel centred.png $((x + 76)) $((y + 86)) 0 0 0 "bottom margin"
    check_pixel centred.png $((x + 1)) $((y + 1)) 0 0 0 "corner"
    end_preview
    expect pixel-blocks 0
}

# The demo's own picture: 640 x 480 shrunk to 149 x 112 (the height is the tighter side),
# centred with (152 - 149) / 2 = 1 pixel on the left and 2 on the right.
scenario_preview_demo() {
    "$root/demo/make-content.sh" "$work/content" >/dev/null
    pack demo "$(settings https://example.com true; pictures content/preview.jpg content/logo.bmp)" "$preview_probe" || return
    run_preview demo
    expect state 3
    expect picture "149x112 bits=24"
    expect painted "1,0-149,111"
    local origin x y; origin="$(value origin)"; x="${origin%,*}"; y="${origin#*,}"
    import -window root "$work/demo.png"
    check_pixel demo.png $((x + 0)) $((y + 56)) 0 0 0 "left margin"
    check_pixel demo.png $((x + 151)) $((y + 56)) 0 0 0 "right margin"
    # The snowman's white body below the centre; the sky's dark blue at the top.
    check_pixel demo.png $((x + 75)) $((y + 78)) 255 255 255 "snowman"
    local sky; sky="$(shot_pixel demo.png $((x + 10)) $((y + 2)))"
    set -- $sky
    (($3 > $1 + 20 && $3 > 40)) || fail "the sky at the top is $sky, not blue"
    end_preview
    expect pixel-blocks 0
}

scenario_preview_no_content() {
    pack empty "$(settings https://example.com true)" "$preview_probe" || return
    run_preview empty
    # The failure stops the sequence and shows nothing: no picture, no sound, no error line.
    expect state 0
    expect painted "152,112--1,-1"
    end_preview
}

scenario_preview_close_loading() {
    convert -size 6000x4000 gradient:'#ff8000-#0040c0' -quality 95 big.jpg
    pack big "$(settings https://example.com true; pictures big.jpg)" "$preview_probe" || return
    probe_out="$work/big.out"
    wine "$work/big.exe" close-loading 30000 > "$probe_out" 2>/dev/null
    local status=$?
    ((status == 0)) || fail "the probe ended with status $status: $(cat "$probe_out")"
    grep -q '^closing-while-loading' "$probe_out" || fail "the loader was not busy at close"
    expect pixel-blocks 0
    # The loader stops within a row of the decode; the rest is the window's own teardown.
    local closed; closed="$(value closed-after-ms)"
    echo "closed after $closed ms"
    [[ "$closed" =~ ^[0-9]+$ ]] && ((closed <= 200)) || fail "closing took ${closed:-?} ms, want at most 200"
}

# The same two pictures on a 16-bit screen, in a Wine environment of its own: no palette, the
# pictures dithered to the screen's 5-6-5 bits, drawn in the same places.
scenario_preview_depth16() {
    local inner
    for inner in preview_centred preview_demo; do
        "$root/scripts/with-wine.sh" --depth 16 -- bash "$source_dir/PreviewTests.sh" "$inner" \
            "$saver" "$saverpak" "$preview_probe" "$shell_probe" "$link_target" \
            "$work/$inner-16" > "$work/$inner-16.log" 2>&1
        grep -q "PASS \[$inner\]" "$work/$inner-16.log" ||
            fail "$inner at 16 bits: $(grep -v '^with-wine' "$work/$inner-16.log")"
        local depth; depth="$(tr -d '\r' < "$work/$inner-16/"*.out | sed -n 's/^depth=//p')"
        [[ "$depth" == 16 ]] || fail "$inner ran at depth '$depth', not 16"
    done
}

# On a 256-colour screen the picture comes with its palette, as 8-bit indices, drawn in the
# same place. Only the output is checked: an 8-bit X display shows just the 20 system colours
# (the palette itself is checked off-screen by preview_loader_tests).
scenario_preview_palette() {
    "$root/demo/make-content.sh" "$work/content" >/dev/null
    pack demo "$(settings https://example.com true; pictures content/preview.jpg content/logo.bmp)" "$preview_probe" || return
    run_preview demo
    expect depth 8
    expect state 3
    expect palette 1
    expect picture "149x112 bits=8"
    expect painted "1,0-149,111"
    end_preview
    expect pixel-blocks 0
}
scenario_preview_depth8() {
    "$root/scripts/with-wine.sh" --depth 8 -- bash "$source_dir/PreviewTests.sh" preview_palette \
        "$saver" "$saverpak" "$preview_probe" "$shell_probe" "$link_target" \
        "$work/palette" > "$work/palette.log" 2>&1
    grep -q "PASS \[preview_palette\]" "$work/palette.log" ||
        fail "at 8 bits: $(grep -v '^with-wine' "$work/palette.log")"
}

# ---- The real saver in /p mode, inside another process's window ----

scenario_preview_child() {
    convert -size 100x61 'xc:rgb(255,128,0)' -type TrueColor BMP3:centre.bmp
    pack PreviewTest "$(settings https://example.com true; pictures centre.bmp)" || return
    preview_in_host "$work/PreviewTest.scr" TkwScreensaverForm
}

# ---- The configuration dialog (/c) ----

key='Software\Saverpak\PreviewTest'
dialog=""
start_dialog() {  # start_dialog [env...]: the packed PreviewTest.scr (or $dialog_saver) /c; sets $dialog
    env "$@" wine "${dialog_saver:-$work/PreviewTest.scr}" /c 2>/dev/null &
    dialog_pid=$!
    pids+=("$dialog_pid")
    dialog="$(probe find TConfigurationForm 15000)" || { fail "no configuration dialog"; return 1; }
    # Ready for keys once it is the foreground window (it becomes so after the logo is in).
    probe wait-foreground TConfigurationForm 10000 || fail "the dialog did not come to the front"
}
control() {  # control TEXT: the line of the dialog's control with that text
    probe controls "$dialog" | grep "text=$1\$" | grep -v 'class=TPanel' | head -1
}
rect_of() {  # rect_of LINE: the "l,t,r,b" after rect= in a probe's line
    local rect="${1#*rect=}"
    echo "${rect%% *}"
}
dialog_rect() { rect_of "$(probe info "$dialog")"; }
click_control() {  # click_control TEXT
    IFS=, read -r l t r b <<< "$(rect_of "$(control "$1")")"
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
dialog_gone() { ! kill -0 "$dialog_pid" 2>/dev/null; }
inside() {  # inside "l,t,r,b" "L,T,R,B": the first rectangle lies within the second
    local l t r b L T R B
    IFS=, read -r l t r b <<< "$1"; IFS=, read -r L T R B <<< "$2"
    ((l >= L && t >= T && r <= R && b <= B))
}
end_dialog_with() {  # end_dialog_with KEY
    # A key reaches the dialog only while it is the foreground window.
    probe wait-foreground TConfigurationForm 10000 || fail "the dialog is not in the foreground"
    xdotool key "$1"
    wait_for 10 dialog_gone || { fail "the dialog ($(probe client "$dialog")) did not close on $1"; kill "$dialog_pid"; }
}
reg() { probe reg-get "$key" "$1"; }

scenario_configure_logo() {
    convert -size 40x30 'xc:rgb(0,0,255)' -type TrueColor BMP3:small.bmp
    # A phone's portrait: stored 300 x 200 on its side, with Exif orientation 6 (turn a quarter
    # clockwise); the dialog sizes itself by the upright 200 x 300.
    convert -size 300x200 'xc:rgb(0,160,0)' large.jpg
    python3 -c 'import struct, sys; j = open(sys.argv[1], "rb").read()
e = b"Exif\0\0II*\0" + struct.pack("<IHHHIHHI", 8, 1, 0x112, 3, 1, 6, 0, 0)
open(sys.argv[1], "wb").write(j[:2] + b"\xff\xe1" + struct.pack(">H", len(e) + 2) + e + j[2:])' large.jpg
    convert -size 10x10 'xc:red' -type TrueColor BMP3:p0.bmp
    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp small.bmp)" || return
    start_dialog || return
    # 223 + (40 - 88) wide; a shorter logo leaves the height.
    [[ "$(probe client "$dialog")" == 175x221 ]] || fail "small logo: client $(probe client "$dialog")"
    local rect; rect="$(dialog_rect)"
    IFS=, read -r l t r b <<< "$rect"
    import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$work/configure.png"
    # The logo is centred in the paint box (10 pixels in from the dialog's left and top).
    local client_left=$((l + (r - l - 175) / 2)) client_top=$((b - 221 - (r - l - 175) / 2))
    check_pixel "$work/configure.png" $((client_left - l + 10 + 20)) $((client_top - t + 10 + 90)) 0 0 255 "logo"
    [[ "$(control '&Music')" == *visible=1* ]] || fail "Music box hidden: $(control '&Music')"
    [[ "$(control 'Example link')" == *visible=1* ]] || fail "no link label: $(probe controls "$dialog")"
    end_dialog_with Escape

    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp large.jpg)" || return
    start_dialog || return
    # 223 + (200 - 88) wide, 221 + (300 - 180) tall.
    [[ "$(probe client "$dialog")" == 335x341 ]] || fail "large logo: client $(probe client "$dialog")"
    end_dialog_with Escape

    # A phone photograph as the logo, 4000 x 3000 stored as it is by a writer of the test's own
    # (another tool's saver): the dialog stays inside the screen with its buttons on it, the
    # logo drawn smaller, and OK is there to be clicked.
    convert -size 4000x3000 'xc:rgb(0,160,0)' -quality 80 photo.jpg
    python3 "$source_dir/../raw_saver.py" "$saver" "$work/Huge.scr" p0.bmp photo.jpg
    dialog_saver="$work/Huge.scr" start_dialog || return
    local screen="${SAVERPAK_WINE_SCREEN:-1024x768x24}" line
    screen="0,0,${screen%x*}"; screen="${screen/x/,}"
    rect="$(dialog_rect)"
    inside "$rect" "$screen" || fail "huge logo: the dialog at $rect is not inside the screen $screen"
    for line in "$(control '&OK')" "$(control '&Cancel')"; do
        [[ "$line" == *visible=1* ]] && inside "$(rect_of "$line")" "$screen" ||
            fail "huge logo: a button is off the screen: $line"
    done
    IFS=, read -r l t r b <<< "$rect"
    import -window root "$work/huge.png"
    check_pixel "$work/huge.png" $(((l + r) / 2 - 57)) $(((t + b) / 2)) 0 160 0 "huge logo's middle"
    click_control '&OK'
    wait_for 10 dialog_gone || { fail "huge logo: OK did not close the dialog"; kill "$dialog_pid"; }

    # The same photograph packed by build, which fits it into 480 x 360, so the dialog,
    # 223 + (480 - 88) wide and 221 + (360 - 180) tall, stays inside the 1024 x 768 screen.
    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp photo.jpg)" || return
    grep -q 'fitted into 480.360' "$work/PreviewTest.pack.log" || fail "no note: $(cat "$work/PreviewTest.pack.log")"
    start_dialog || return
    [[ "$(probe client "$dialog")" == 615x401 ]] || fail "photo logo: client $(probe client "$dialog")"
    rect="$(dialog_rect)"
    inside "$rect" 0,0,1024,768 || fail "photo logo: the dialog is at $rect"
    end_dialog_with Escape

    # No second picture: the initialization message, then the dialog without a logo.
    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp)" || return
    wine "$work/PreviewTest.scr" /c 2>/dev/null &
    dialog_pid=$!
    pids+=("$dialog_pid")
    local box; box="$(probe find '#32770' 15000)" || { fail "no initialization message"; return; }
    probe controls "$box" | grep -q 'text=The screen saver holds no logo picture. Error occurred during initialization.$' ||
        fail "wrong message: $(probe controls "$box")"
    xdotool key Return
    dialog="$(probe find TConfigurationForm 15000)" || { fail "no dialog after the message"; return; }
    # The dialog goes on without a logo: the form keeps its design size.
    [[ "$(probe client "$dialog")" == 223x221 ]] || fail "no logo: client $(probe client "$dialog")"
    # Closed with the mouse: after the message box Wine may leave the X keyboard focus behind.
    click_control '&Cancel'
    wait_for 10 dialog_gone || fail "Cancel did not close the dialog"
}

scenario_configure_settings() {
    convert -size 10x10 'xc:red' -type TrueColor BMP3:p0.bmp
    convert -size 88x180 'xc:rgb(0,0,255)' -type TrueColor BMP3:logo.bmp
    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp logo.bmp)" || return

    # Stored Sound 1 (once) shows ticked, Music 2 (never) unticked; OK writes 0 and 0 after
    # the Music box is ticked.
    probe reg-set "$key" Sound 1; probe reg-set "$key" Music 2
    start_dialog || return
    [[ "$(control '&Sound')" == *checked=1* ]] || fail "Sound 1 not ticked: $(control '&Sound')"
    [[ "$(control '&Music')" == *checked=0* ]] || fail "Music 2 ticked: $(control '&Music')"
    click_control '&Music'
    wait_for 5 bash -c "wine '$shell_probe' controls $dialog 2>/dev/null | grep 'text=&Music' | grep -q checked=1" ||
        fail "the click did not tick Music"
    end_dialog_with Return
    [[ "$(reg Sound)" == 0 && "$(reg Music)" == 0 ]] || fail "OK wrote Sound=$(reg Sound) Music=$(reg Music), want 0 0"

    # Unticking Sound writes 2.
    start_dialog || return
    click_control '&Sound'
    wait_for 5 bash -c "wine '$shell_probe' controls $dialog 2>/dev/null | grep 'text=&Sound' | grep -q checked=0" ||
        fail "the click did not untick Sound"
    click_control '&OK'
    wait_for 10 dialog_gone || fail "OK did not close the dialog"
    [[ "$(reg Sound)" == 2 && "$(reg Music)" == 0 ]] || fail "OK wrote Sound=$(reg Sound) Music=$(reg Music), want 2 0"

    # Cancel writes nothing.
    probe reg-delete "$key"
    start_dialog || return
    click_control '&Sound'
    click_control '&Cancel'
    wait_for 10 dialog_gone || fail "Cancel did not close the dialog"
    [[ "$(reg Sound)" == none && "$(reg Music)" == none ]] || fail "Cancel wrote Sound=$(reg Sound) Music=$(reg Music)"

    # Music 0 in the container: no Music box; OK writes Music from the hidden box.
    pack PreviewTest "$(settings https://example.com false; pictures p0.bmp logo.bmp)" || return
    probe reg-set "$key" Music 2
    start_dialog || return
    [[ "$(control '&Music')" == *visible=0\ enabled=0* ]] || fail "Music box shown: $(control '&Music')"
    end_dialog_with Return
    [[ "$(reg Sound)" == 0 && "$(reg Music)" == 2 ]] || fail "OK wrote Sound=$(reg Sound) Music=$(reg Music), want 0 2"

    # A saver kept in a folder named in letters the ANSI code page lacks, its caption stored in
    # Windows-1252: the label shows the caption's own letters, and OK saves under the saver's
    # own name.
    local key='Software\Saverpak\Снег' folder="$work/Мария 雪"
    mkdir -p "$folder"
    pack PreviewTest "$(settings https://example.com true 'Schnee für alle'; pictures p0.bmp logo.bmp)" || return
    cp "$work/PreviewTest.scr" "$folder/Снег.scr"
    dialog_saver="$folder/Снег.scr" start_dialog || return
    [[ "$(control 'Schnee für alle')" == *visible=1* ]] || fail "caption not shown as stored: $(probe controls "$dialog")"
    click_control '&Sound'
    click_control '&OK'
    wait_for 10 dialog_gone || fail "OK did not close the dialog"
    [[ "$(reg Sound)" == 2 && "$(reg Music)" == 0 ]] || fail "OK wrote Sound=$(reg Sound) Music=$(reg Music) below $key, want 2 0"
    probe reg-delete "$key"
}

scenario_configure_link() {
    convert -size 10x10 'xc:red' -type TrueColor BMP3:p0.bmp
    cp "$link_target" "$work/LinkTarget.exe"
    pack PreviewTest "$(settings "$(win_path "$work/LinkTarget.exe")" true; pictures p0.bmp p0.bmp)" || return
    start_dialog LINKTARGET_MARK="$(win_path "$work/link.mark")" || return
    click_control 'Example link'
    wait_for 15 test -e "$work/link.mark" || fail "the link did not start its target"
    end_dialog_with Escape

    # A link that cannot be opened: the system's error text in a box; the dialog stays.
    pack PreviewTest "$(settings 'Z:\nowhere\missing.exe' true; pictures p0.bmp p0.bmp)" || return
    start_dialog || return
    click_control 'Example link'
    local box; box="$(probe find '#32770' 15000)" || { fail "no error box for a failing link"; return; }
    [[ "$(probe info "$box")" == *"text=PreviewTest Screen Saver" ]] ||
        fail "not the saver's error box: $(probe info "$box")"
    local text; text="$(probe controls "$box" | grep 'class=Static' | grep -v 'text=$' | head -1)"
    [[ -n "$text" ]] || fail "the error box has no text: $(probe controls "$box")"
    echo "failing link: ${text#*text=}"
    xdotool key Return
    wait_for 10 bash -c "! wine '$shell_probe' info $box >/dev/null 2>&1" || fail "the error box stayed"
    dialog_gone && fail "the dialog closed after a failing link"
    end_dialog_with Escape
}

scenario_configure_parent() {
    convert -size 10x10 'xc:red' -type TrueColor BMP3:p0.bmp
    pack PreviewTest "$(settings https://example.com true; pictures p0.bmp p0.bmp)" || return
    configure_disables_host "$work/PreviewTest.scr" Escape
}

# ---- The dialogs laid out for the DPI of their monitor ----

# The configuration dialog and the close-saver dialog in this Wine environment (made with
# scripts/with-wine.sh --dpi): every text fits its control, the dialog is its design scaled, the
# logo is drawn at the same scale; then a WM_DPICHANGED to another DPI lays it out again.
scenario_configure_layout() {
    local dpi="${SAVERPAK_WINE_DPI:-96}" new
    case "$dpi" in 96) new=144 ;; 120) new=192 ;; 144) new=96 ;; *) new=120 ;; esac
    convert -size 10x10 'xc:red' -type TrueColor BMP3:p0.bmp
    # Blue and red stripes: no pixel of the logo is the dialog's grey.
    convert -size 88x180 pattern:vertical2 +level-colors blue,red -type TrueColor BMP3:logo.bmp
    pack layout "$(settings https://example.com true; pictures p0.bmp logo.bmp)" "$preview_probe" || return
    probe_out="$work/layout.out"
    wine "$work/layout.exe" layout "$(win_path "$work")" "$new" 30000 > "$probe_out" 2>/dev/null &
    local pid=$!
    pids+=("$pid")
    wait_for 30 grep -qs '^ready-config\|^timeout' "$probe_out" || { fail "no dialog: $(cat "$probe_out")"; return; }
    shoot_window "design rect" "$work/configure-${dpi}dpi.png"
    touch "$work/shot1"
    wait_for 30 grep -q '^ready-closesaver\|^no-closesaver\|^timeout' "$probe_out" || fail "no close-saver dialog"
    shoot_window "closesaver rect" "$work/closesaver-${dpi}dpi.png"
    touch "$work/shot2"
    wait_for 30 grep -q '^done\|^timeout' "$probe_out" || fail "the DPI change did not finish"
    wait "$pid" || fail "the probe failed"
    tr -d '\r' < "$probe_out" > "$work/layout.txt"
    grep '^short' "$work/layout.txt" | while read -r line; do echo "FAIL [$scenario]: text cut off: $line"; done
    local fits; fits="$(grep -c '^fit' "$work/layout.txt")"
    ((fits == 12)) && ! grep -q '^short' "$work/layout.txt" || fail "$fits of 12 controls hold their text"
    check_layout design "$dpi"
    check_layout changed "$new"
    local suggested got; suggested="$(sed -n 's/^suggested=//p' "$work/layout.txt")"
    got="$(sed -n 's/^changed rect=//p' "$work/layout.txt")"
    within 2 "$suggested" "$got" || fail "at $new DPI the dialog is at $got, not at the suggested $suggested"
}
scaled() { echo $((($1 * $2 + 48) / 96)); }  # scaled LENGTH DPI: MulDiv(LENGTH, DPI, 96)
within() {  # within TOLERANCE "a,b,.." "c,d,..": every pair of numbers that close
    local tolerance="$1" i; local -a want got
    IFS=',x' read -r -a want <<< "$2"; IFS=',x' read -r -a got <<< "$3"
    ((${#want[@]} == ${#got[@]})) || return 1
    for i in "${!want[@]}"; do
        ((got[i] - want[i] <= tolerance && want[i] - got[i] <= tolerance)) || return 1
    done
}
check_layout() {  # check_layout PHASE DPI
    local phase="$1" dpi="$2" text="$work/layout.txt"
    layout_value() { sed -n "s/^$phase $1=\([^ ]*\).*/\1/p" "$text"; }
    [[ "$(layout_value dpi)" == "$dpi" ]] || fail "$phase: laid out for $(layout_value dpi) DPI, want $dpi"
    local client; client="$(layout_value client)"
    within 2 "$(scaled 223 "$dpi")x$(scaled 221 "$dpi")" "$client" || fail "$phase: client $client at $dpi DPI"
    [[ "$(layout_value ok)" == "$(scaled 101 "$dpi")x$(scaled 25 "$dpi")" ]] || fail "$phase: OK button $(layout_value ok) at $dpi DPI"
    local logo; logo="$(layout_value logo)"
    local l t r b; IFS=',-' read -r l t r b <<< "$logo"
    [[ "$((r - l + 1))x$((b - t + 1))" == "$(scaled 88 "$dpi")x$(scaled 180 "$dpi")" ]] ||
        fail "$phase: logo drawn at $logo, want $(scaled 88 "$dpi")x$(scaled 180 "$dpi") at $dpi DPI"
}
shoot_window() {  # shoot_window "KEY" FILE: the screen rectangle printed as KEY=l,t,r,b
    local rect; rect="$(tr -d '\r' < "$probe_out" | sed -n "s/^$1=//p" | head -1)"
    [[ -n "$rect" ]] || return 0
    local l t r b; IFS=, read -r l t r b <<< "$rect"
    import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$2"
}

# The layout at 100, 125, 150 and 200 %, each in a Wine environment of its own (100 % in this
# one); the 200 % screenshots stay beside this test's log for a person to look at. At 200 % the
# preview still fills its host exactly and shows the picture unscaled, as at 100 %.
scenario_configure_dpi() {
    local dpi inner
    for dpi in 96 120 144 192; do
        local -a inners=(configure_layout) wrap=("$root/scripts/with-wine.sh" --dpi "$dpi" --)
        ((dpi == 192)) && inners+=(preview_centred)
        ((dpi == 96)) && wrap=()
        # shellcheck disable=SC2016  # expanded by the inner shell
        "${wrap[@]}" env INNERS="${inners[*]}" WORK="$work/dpi-$dpi" bash -c \
            'for inner in $INNERS; do bash "$0" "$inner" "$@" "$WORK-$inner"; done' \
            "$source_dir/PreviewTests.sh" "$saver" "$saverpak" "$preview_probe" "$shell_probe" \
            "$link_target" > "$work/dpi-$dpi.log" 2>&1
        for inner in "${inners[@]}"; do
            grep -q "PASS \[$inner\]" "$work/dpi-$dpi.log" ||
                fail "$inner at $dpi DPI: $(grep -v '^with-wine' "$work/dpi-$dpi.log")"
        done
    done
    cp "$work/dpi-192-configure_layout/configure-192dpi.png" \
       "$work/dpi-192-configure_layout/closesaver-192dpi.png" "$work/" 2>/dev/null
    echo "screenshots at 192 DPI: $work/configure-192dpi.png $work/closesaver-192dpi.png"
}

# A name with no scenario is refused, not run as a command that is not found.
declare -F "scenario_$scenario" > /dev/null || { echo "FAIL: no scenario '$scenario'"; exit 2; }
"scenario_$scenario"
((failures == 0)) && echo "PASS [$scenario]"
exit $((failures > 0))
