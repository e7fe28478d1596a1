#!/bin/bash
# The slideshow module (Slideshow.exe) run by the real saver under Wine, on the two side-by-side
# monitors of `scripts/with-wine.sh --dual`: savers built from [slideshow] manifests, with the
# default settings (fit, in turn, fade, a picture of its own on each monitor, 8 s) or others.
#
#   SlideshowTests.sh SAVER-STUB SAVERPAK-EXE SLIDESHOW-EXE PROBE WORK-FOLDER
#
# Every wait polls with a deadline; nothing sleeps to synchronise with Wine.
set -uo pipefail
stub="$1" saverpak="$2" slideshow="$3" probe="$4" work="$5"
source "$(dirname "${BASH_SOURCE[0]}")/../scenario_start.sh" "$work" "$probe"
wine_temp
command -v exiftool >/dev/null || { echo "exiftool is missing (scripts/install-deps.sh)"; exit 1; }
cp "$slideshow" "$work/Slideshow.exe"

read -r vx vy vw vh monitors <<< "$(probe virtual)"
[[ "$monitors" == 2 ]] || { echo "the slideshow's suite needs two monitors (with-wine.sh --dual)"; exit 1; }
mw=$((vw / 2)) mh=$vh  # two monitors side by side, each half the desktop

# The slides, both of the monitors' 4:3 shape so that a fitted picture covers its monitor.
# "turned" is stored as a phone stores a picture held upright, on its side with orientation 6
# (to be turned a quarter clockwise): stored red left and blue right, it stands upright red
# above blue. "plain" is green left of yellow.
convert -size $((mh / 2))x$mw xc:red -size $((mh / 2))x$mw xc:blue +append "$work/turned.jpg"
exiftool -q -overwrite_original -Orientation=6 -n "$work/turned.jpg"
convert -size $((mw / 2))x$mh xc:lime -size $((mw / 2))x$mh xc:yellow +append "$work/plain.jpg"
for c in red blue lime yellow; do convert -size ${mw}x$mh xc:$c "$work/$c.jpg"; done
convert -size ${mw}x$mh xc:red -size ${mw}x$mh xc:blue +append "$work/wide.jpg"

pack() {  # pack NAME SLIDE...: $work/NAME.scr shows the slides, with the [slideshow] lines in
          # $settings; Slideshow.exe comes from beside the stub, as build finds it; exits if not
    local name="$1" slide list=""; shift
    for slide in "$@"; do list+="${list:+, }\"$slide.jpg\""; done
    printf '[slideshow]\npictures = [%s]\n%s\n' "$list" "${settings:-}" > "$work/$name.toml"
    wine "$saverpak" build --stub "$(win_path "$stub")" --manifest "$(win_path "$work/$name.toml")" \
        -o "$(win_path "$work/$name.scr")" >/dev/null 2>"$work/$name.pack.log" ||
        { cat "$work/$name.pack.log"; echo "packing failed"; exit 1; }
}
# damage NAME ITEM: overwrites the start of content item ITEM's picture in NAME.scr, as a saver
# damaged after it was built. Exits when it cannot.
damage() {
    local at
    at=$(wine "$saverpak" list "$(win_path "$work/$1.scr")" 2>/dev/null | tr -d '\r' |
         awk -v item="picture $2 data" 'index($0, item) { print $1 + 4; exit }')
    [[ -n "$at" ]] && printf 'damaged!' | dd of="$work/$1.scr" bs=1 seek="$at" conv=notrunc 2>/dev/null ||
        { echo "packing failed: cannot damage picture $2 of $1.scr"; exit 1; }
}

saver=""
trap '[[ -z "$saver" ]] || kill "$saver" 2>/dev/null' EXIT
start_saver() {
    probe set-running 0
    wine "$work/$1.scr" /s &
    saver=$!
}
saver_gone() { ! kill -0 "$saver" 2>/dev/null; }
slideshow_gone() { [[ -z "$(our_modules Slideshow)" ]]; }
all_gone() { saver_gone && slideshow_gone; }
# Moves the pointer as a user does, this way and next time back, so that it stays put.
nudge=20
move_pointer() {
    xdotool mousemove_relative -- $nudge 0
    nudge=$((-nudge))
}
# Ends a saver still running by a movement, so that it cleans up; one that does not end is
# killed.
end_saver() {
    if ! saver_gone; then
        move_pointer
        wait_for 5 saver_gone || kill "$saver" 2>/dev/null
    fi
    wait "$saver" 2>/dev/null
    wait_for 5 slideshow_gone
}
# A movement ends saver and slideshow within SECONDS, or the case fails WHAT.
ends_on_movement() {  # ends_on_movement SECONDS WHAT
    move_pointer
    check "$2" wait_for "$1" all_gone
    wait "$saver" 2>/dev/null
}

# What monitor M (0 left, 1 right) of the last screenshot shows: turned, plain, black or other.
shot() { import -window root "$work/shot.png"; }
colour() {  # colour X Y: red, blue, lime, yellow, black or other, with room for JPEG's error
    local r g b
    IFS=, read -r r g b <<< "$(pixel "$work/shot.png" "$1" "$2")"
    if ((r > 200 && g < 60 && b < 60)); then echo red
    elif ((r < 60 && g < 60 && b > 200)); then echo blue
    elif ((r < 60 && g > 200 && b < 60)); then echo lime
    elif ((r > 200 && g > 200 && b < 60)); then echo yellow
    elif ((r + g + b < 30)); then echo black
    else echo other; fi
}
shows() {
    local x=$((vx + $1 * mw))
    local top left
    top="$(colour $((x + mw / 2)) $((mh / 10)))-$(colour $((x + mw / 2)) $((mh * 9 / 10)))"
    left="$(colour $((x + mw / 10)) $((mh / 2)))-$(colour $((x + mw * 9 / 10)) $((mh / 2)))"
    if [[ "$top" == red-blue ]]; then echo turned
    elif [[ "$left" == lime-yellow ]]; then echo plain
    elif [[ "$top-$left" == black-black-black-black ]]; then echo black
    else echo "other ($top $left)"; fi
}
# Both monitors show a picture, each a different one.
pictures_of_their_own() {
    shot
    local a b
    a="$(shows 0)" b="$(shows 1)"
    [[ "$a" != "$b" && ( "$a" == turned || "$a" == plain ) && ( "$b" == turned || "$b" == plain ) ]]
}
# start_showing NAME [WHEN]: starts NAME.scr and waits until both monitors show a picture of their
# own; fails the case when they do not (the case then returns, and the runner ends the saver).
start_showing() {
    start_saver "$1"
    wait_for 20 pictures_of_their_own && return 0
    fail "no pictures${2:+ $2}: the monitors show $(shows 0) and $(shows 1)"
    return 1
}
both_show() { shot; [[ "$(shows 0)" == "$1" && "$(shows 1)" == "$1" ]]; }
# The middle row band of each monitor holds light pixels (a line of text), its top is black.
says_why() {
    shot
    local m x
    for m in 0 1; do
        x=$((vx + m * mw))
        [[ "$(convert "$work/shot.png" -crop "${mw}x$((mh / 10))+$x+$((mh * 9 / 20))" -format '%[max]' info:)" != 0 ]] || return 1
        [[ "$(convert "$work/shot.png" -crop "${mw}x$((mh / 4))+$x+0" -format '%[max]' info:)" == 0 ]] || return 1
    done
}

# centre M: the colour at the middle of monitor M.
centre() { colour $((vx + $1 * mw + mw / 2)) $((mh / 2)); }
# A mix of red and blue, neither of them nearly whole: a frame in the middle of a fade.
blend_of_red_and_blue() {
    local r g b
    IFS=, read -r r g b <<< "$(pixel "$work/shot.png" $((vx + mw / 2)) $((mh / 2)))"
    ((r > 40 && r < 215 && b > 40 && b < 215 && g < 40))
}
# Records when the primary monitor first shows red, whether any shot caught a fade, and when
# it first shows blue, in red_shown, blend_seen and blue_shown (which start at 0).
watch_change() {
    shot
    local now=${EPOCHREALTIME/./} c
    c="$(centre 0)"
    ((red_shown == 0)) && [[ "$c" == red ]] && red_shown=$now
    ((red_shown != 0)) && blend_of_red_and_blue && blend_seen=1
    [[ "$c" == blue && $red_shown != 0 ]] && blue_shown=$now
    ((blue_shown != 0))
}
# The colours both monitors show, when both show one of the four solid slides.
pair() {
    shot
    local a b
    a="$(centre 0)" b="$(centre 1)"
    [[ " red blue lime yellow " == *" $a "* && " red blue lime yellow " == *" $b "* ]] || return 1
    echo "$a $b"
}
# both_changed FIRST: the pair both monitors show now, when neither shows what it did in FIRST.
both_changed() {
    local now
    now="$(pair)" || return 1
    [[ "${now% *}" != "${1% *}" && "${now#* }" != "${1#* }" ]] && echo "$now"
}

# ---- the cases ----

each_monitor_shows_a_picture_of_its_own_upright() {
    local before=$EPOCHREALTIME pid
    start_showing Two || return
    echo "     both monitors showed their first picture $(((${EPOCHREALTIME/./} - ${before/./}) / 1000)) ms after the saver's start"
    pid="$(our_modules Slideshow | head -1)"
    [[ -z "$pid" ]] || echo "     the slideshow's peak memory: $(awk '/VmHWM/ { print $2 / 1024 " MB" }' "/proc/$pid/status") (Wine's own included)"
    check "the slideshow's windows are topmost" test "$(probe topmost SaverpakSlideshow)" = 1
}

a_movement_ends_saver_and_slideshow_and_leaves_temp_as_it_was() {
    local before
    before="$(ls -A "$temp")"
    start_showing Two || return
    ends_on_movement 2 "saver and slideshow end within 2 s"
    check "the temporary folder is as before: $(diff <(echo "$before") <(ls -A "$temp") | tr '\n' ' ')" \
        test "$(ls -A "$temp")" = "$before"
}

a_killed_saver_takes_the_slideshow_with_it() {
    start_showing Two || return
    check "the saver is ended" probe terminate TkwScreensaverForm
    check "the saver is gone" wait_for 3 saver_gone
    wait "$saver" 2>/dev/null
    check "the slideshow ends with it" wait_for 3 slideshow_gone
    # The next run cleans up the folder the killed one left.
    start_showing Two "after the kill"
}

a_damaged_slide_is_skipped_and_with_none_left_each_monitor_says_why() {
    start_saver DamagedFirst
    check "both monitors show the slide that is whole" wait_for 20 both_show plain
    end_saver
    start_saver DamagedOnly
    check "each monitor shows one line in the middle" wait_for 20 says_why
    ends_on_movement 3 "the saver still closes on input"
}

# seconds=2: the first picture shows for 2 s, then fades into the next within about 1 s; the
# monitor that is not the primary stays black.
pictures_change_after_seconds_and_a_fade_is_a_blend() {
    red_shown=0 blend_seen=0 blue_shown=0
    start_saver Primary
    wait_for 20 watch_change ||
        { fail "no change from red to blue ($red_shown, $blue_shown)"; return; }
    local ms=$(((blue_shown - red_shown) / 1000))
    check "the change came after about 2 s and its 1 s fade (took $ms ms)" test $ms -ge 2000 -a $ms -le 4500
    check "a screenshot during the fade is a blend of the two" test $blend_seen = 1
    check "the other monitor stays black" test "$(centre 1)" = black
}

# Shuffled, with a picture on each monitor, the first four shown (two, then two more after
# seconds=2) are the four slides, each once.
shuffle_shows_every_picture_once_before_any_repeats() {
    local first second
    start_saver Shuffled
    first="$(wait_for 20 pair)" || { fail "no pictures"; return; }
    second="$(wait_for 6 both_changed "$first")" ||
        { fail "the pictures did not change (first $first)"; return; }
    check "four different pictures: $first $second" \
        test "$(tr ' ' '\n' <<< "$first $second" | sort -u | wc -l)" = 4
}

span_shows_one_picture_across_both_monitors() {
    start_saver Span
    check "the left half on the left monitor, the right half on the right" \
        wait_for 20 eval 'shot; [[ "$(centre 0) $(centre 1)" == "red blue" ]]'
    check "one window covers the desktop" \
        test "$(probe rect SaverpakSlideshow)" = "$vx $vy $((vx + vw)) $((vy + vh))"
}

pack Two turned plain
settings=$'seconds = 2\nmonitors = "primary"' pack Primary red blue
settings=$'seconds = 2\norder = "shuffle"\ntransition = "cut"' pack Shuffled red blue lime yellow
settings='monitors = "span"' pack Span wide
# The first slide is picture 2 (picture 0, the preview, shares its data).
pack DamagedFirst turned plain
damage DamagedFirst 2
pack DamagedOnly turned
damage DamagedOnly 2

all_cases="each_monitor_shows_a_picture_of_its_own_upright
    a_movement_ends_saver_and_slideshow_and_leaves_temp_as_it_was
    a_damaged_slide_is_skipped_and_with_none_left_each_monitor_says_why
    pictures_change_after_seconds_and_a_fade_is_a_blend
    shuffle_shows_every_picture_once_before_any_repeats
    span_shows_one_picture_across_both_monitors
    a_killed_saver_takes_the_slideshow_with_it"
passed=0 failed=0
# SLIDESHOW_CASES picks cases by name.
for case in ${SLIDESHOW_CASES:-$all_cases}; do
    current="$case"
    failures=0
    "$case"
    end_saver
    if ((failures == 0)); then passed=$((passed + 1)); echo "ok   $case"; else failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
((failed == 0))
