#!/bin/bash
# The saver's windows under Wine with real input: xdotool drives the X pointer and keyboard,
# ShellProbe.exe looks at windows and system state from a second process, `import` takes
# screenshots. Runs inside scripts/with-wine.sh (DISPLAY, WINEPREFIX, Managed=N, warm server).
#
#   gui_tests.sh <scenario> <saver> <probe> <password double> <work dir>
#
# Every wait polls with a timeout; nothing sleeps to synchronise.
set -u

SCENARIO=$1 SAVER=$2 PROBE=$3 PASSWORD_DOUBLE=$4 WORK=$5
SAVER_PID= HOST_PID= FIRST_PID=
DESKTOP='Control Panel\Desktop'
TEST_KEY='Software\Saverpak Tests\Password'
WM_SYSCOMMAND=0x0112 WM_CLOSE=0x0010 WM_KEYDOWN=0x0100 WM_LBUTTONDOWN=0x0201
SC_CLOSE=0xF060 SC_SCREENSAVE=0xF140

rm -rf "$WORK" && mkdir -p "$WORK"

probe() { wine "$PROBE" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

cleanup() {
    [ -n "$SAVER_PID" ] && kill "$SAVER_PID" 2>/dev/null
    [ -n "$FIRST_PID" ] && kill "$FIRST_PID" 2>/dev/null
    [ -n "$HOST_PID" ] && { touch "$WORK/stop-host"; kill "$HOST_PID" 2>/dev/null; }
    probe reg-delete "$DESKTOP" ScreenSaveUsePassword
    probe reg-delete "$TEST_KEY"
    probe spi-reset
}
trap cleanup EXIT

fail() { echo "FAIL [$SCENARIO]: $*"; exit 1; }

now_ms() { date +%s%3N; }

# Started in its own folder: LoadLibrary also searches the current one, and the build folder
# holds the password double.
start_saver() {  # start_saver <exe> <args...>
    local exe=$1; shift
    (cd "$(dirname "$exe")" && exec wine "$exe" "$@") & SAVER_PID=$!
}

# Waits up to $1 ms for the saver to end; sets EXIT_CODE.
wait_exit() {
    local deadline=$(( $(now_ms) + $1 ))
    while kill -0 "$SAVER_PID" 2>/dev/null; do
        [ "$(now_ms)" -gt "$deadline" ] && return 1
        sleep 0.02
    done
    wait "$SAVER_PID"; EXIT_CODE=$?; SAVER_PID=
    return 0
}

# Fails if the saver ends within $1 ms.
stays_alive() {
    local deadline=$(( $(now_ms) + $1 ))
    while [ "$(now_ms)" -le "$deadline" ]; do
        kill -0 "$SAVER_PID" 2>/dev/null || fail "saver ended: $2"
        sleep 0.02
    done
}

expect_exit() {  # expect_exit <why>
    wait_exit 4000 || fail "saver still running: $1"
    [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE: $1"
}

# Polls a probe command until its output equals $2.
poll_probe() {  # poll_probe <timeout ms> <expected> <probe args...>
    local deadline=$(( $(now_ms) + $1 )) expected=$2 got; shift 2
    while :; do
        got=$(probe "$@")
        [ "$got" = "$expected" ] && return 0
        if [ "$(now_ms)" -gt "$deadline" ]; then
            echo "probe $*: '$got', expected '$expected'"
            return 1
        fi
    done
}

pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info:; }

# Finds the full-screen window and waits until it is in front: keys pressed before it has
# been activated would go to no window.
find_saver_window() {
    SAVER_HWND=$(probe find TScreensaverForm 5000) || fail "no saver window"
    probe wait-foreground TScreensaverForm 5000 || fail "saver window not in front"
}

start_host() {
    rm -f "$WORK/stop-host" "$WORK/host.out"
    wine "$PROBE" host "$(winepath -w "$WORK/stop-host")" 20000 > "$WORK/host.out" & HOST_PID=$!
    local deadline=$(( $(now_ms) + 5000 ))
    until HOST_HWND=$(tr -d '\r' < "$WORK/host.out") && [ -n "$HOST_HWND" ]; do
        [ "$(now_ms)" -gt "$deadline" ] && fail "no host window"
        sleep 0.02
    done
}

# Full-screen run: looks, the running flag, the cursor, and the 8-pixel threshold measured
# from where the cursor was when the saver appeared.
scenario_run_mouse() {
    probe spi-reset
    xdotool mousemove 512 384
    start_saver "$SAVER" /s
    find_saver_window
    local info; info=$(probe info "$SAVER_HWND")
    local w h; read -r w h <<< "$(probe screen)"
    case $info in *"rect=0,0,$w,$h "*) ;; *) fail "not full-screen ($w x $h): $info";; esac
    local exstyle=${info#*exstyle=}; exstyle=${exstyle%% *}
    (( exstyle & 0x8 )) || fail "not topmost: $info"
    [ "$(probe spi-get)" = 1 ] || fail "screen-saver-running flag not set during the run"
    import -window root "$WORK/run.png"
    for p in "5 5" "$((w - 6)) $((h - 6))" "$((w / 2)) $((h / 2))" "$((w - 6)) 5"; do
        [ "$(pixel "$WORK/run.png" $p)" = "gray(0)" ] || fail "not black at $p"
    done
    poll_probe 3000 "cursor=0 flags=1" cursor || fail "cursor not hidden"
    xdotool mousemove_relative 8 0
    xdotool mousemove_relative -- 0 -8
    stays_alive 500 "a movement of 8 pixels on each axis closed it"
    xdotool mousemove_relative 1 0
    expect_exit "a 9-pixel movement did not close it"
    [ "$(probe spi-get)" = 0 ] || fail "screen-saver-running flag not cleared after the run"
}

# Keys (plain and with Alt) and buttons close it; SC_CLOSE and SC_SCREENSAVE do not.
scenario_run_keys() {
    local how
    for how in "key a" "click 1" "click 3" "key alt+x"; do
        probe spi-reset
        xdotool mousemove 512 384
        start_saver "$SAVER" /s
        find_saver_window
        if [ "$how" = "key a" ]; then
            probe post "$SAVER_HWND" $WM_SYSCOMMAND $SC_CLOSE 0
            probe post "$SAVER_HWND" $WM_SYSCOMMAND $SC_SCREENSAVE 0
            stays_alive 400 "SC_CLOSE or SC_SCREENSAVE closed it"
        fi
        xdotool $how
        expect_exit "'xdotool $how' did not close it"
    done
}

# Preview: a child of the host window, no input closes it, the cursor stays; it ends with
# its host.
scenario_preview() {
    probe spi-reset
    start_host
    start_saver "$SAVER" /p "$HOST_HWND"
    local child; child=$(probe wait-child "$HOST_HWND" 5000) || fail "no child in the host"
    local info; info=$(probe info "$child")
    case $info in *"class=TScreensaverForm"*) ;; *) fail "child is not the saver: $info";; esac
    local style=${info#*style=}; style=${style%% *}
    (( style & 0x40000000 )) || fail "not a child window: $info"
    [ "$(probe spi-get)" = 0 ] || fail "preview set the screen-saver-running flag"
    probe wait-foreground ShellProbeHost 3000 || fail "the host lost the foreground"
    xdotool mousemove 300 250
    xdotool mousemove_relative 40 30
    xdotool click 1
    xdotool key a
    probe post "$child" $WM_KEYDOWN 0x41 0
    probe post "$child" $WM_LBUTTONDOWN 1 0
    stays_alive 500 "input closed the preview"
    local cursor; cursor=$(probe cursor)
    [ "$cursor" != "cursor=0 flags=1" ] || fail "cursor hidden in preview: $cursor"
    touch "$WORK/stop-host"
    expect_exit "preview did not end with its host"
}

# A password in force: the double refuses once, then accepts. After the refusal movement is
# measured from where the cursor was at that moment.
scenario_password() {
    probe spi-reset
    probe reg-delete "$TEST_KEY"
    probe reg-set "$DESKTOP" ScreenSaveUsePassword 1 || fail "cannot set ScreenSaveUsePassword"
    mkdir -p "$WORK/with"
    cp "$SAVER" "$WORK/with/saver.scr"
    cp "$PASSWORD_DOUBLE" "$WORK/with/PASSWORD.CPL"
    xdotool mousemove 512 384
    start_saver "$WORK/with/saver.scr" /s
    find_saver_window
    xdotool mousemove_relative 5 0
    xdotool key a
    poll_probe 3000 1 reg-get "$TEST_KEY" Calls || fail "password not asked"
    stays_alive 400 "closed although the password was wrong"
    [ "$(probe reg-get "$TEST_KEY" CursorShown)" = 1 ] || fail "cursor hidden while asking"
    [ "$(probe reg-get "$TEST_KEY" OwnerValid)" = 1 ] || fail "no owner window for the dialog"
    xdotool mousemove_relative 8 0  # 13 from the first origin, 8 from the new one
    stays_alive 500 "movement still measured from the first origin"
    xdotool mousemove_relative 1 0
    expect_exit "the right password did not close it"
    [ "$(probe reg-get "$TEST_KEY" Calls)" = 2 ] || fail "password not asked twice"

    # Without the library there is nothing to ask with: the first key closes it.
    mkdir -p "$WORK/without"
    cp "$SAVER" "$WORK/without/saver.scr"
    start_saver "$WORK/without/saver.scr" /s
    find_saver_window
    xdotool key a
    expect_exit "closed only with the password library present (calls \
$(probe reg-get "$TEST_KEY" Calls), foreground $(probe foreground))"
}

# The configuration twice: the second process ends at once with 0 and brings the first
# one's window to the front.
scenario_configure_twice() {
    start_saver "$SAVER" /c
    FIRST_PID=$SAVER_PID
    local config; config=$(probe find TConfigurationForm 5000) || fail "no configuration window"
    start_host
    probe wait-foreground ShellProbeHost 3000 || fail "host not in front"
    start_saver "$SAVER" /c
    expect_exit "the second configuration did not end"
    probe wait-foreground TConfigurationForm 3000 ||
        fail "the first configuration window was not brought to the front ($(probe foreground))"
    [ "$(probe find TConfigurationForm 100)" = "$config" ] || fail "a second window appeared"
    SAVER_PID=$FIRST_PID FIRST_PID=
    xdotool key Return  # the dialog's default button, reached from the keyboard
    expect_exit "Enter did not close the first configuration"
}

# Started with /c from a window, the configuration disables that window while it is up.
scenario_configure_parent() {
    start_host
    probe wait-foreground ShellProbeHost 3000 || fail "host not in front"
    start_saver "$SAVER" /c
    probe find TConfigurationForm 5000 > /dev/null || fail "no configuration window"
    probe wait-foreground TConfigurationForm 3000 || fail "configuration not in front"
    case $(probe info "$HOST_HWND") in *"enabled=0"*) ;; *) fail "host still enabled";; esac
    xdotool key Return
    expect_exit "Enter did not close the configuration"
    case $(probe info "$HOST_HWND") in *"enabled=1"*) ;; *) fail "host left disabled";; esac
}

# The password change mode calls the system's dialog (a stub in Wine) and shows nothing.
scenario_change_password() {
    probe spi-reset
    start_host
    start_saver "$SAVER" /a "$HOST_HWND"
    expect_exit "the password change mode did not end"
    [ -z "$(probe find TScreensaverForm 0)" ] || fail "a saver window appeared"
    [ "$(probe spi-get)" = 0 ] || fail "password change set the screen-saver-running flag"
}

# A settings value of the wrong type ends the start in the framework's exception box, before
# any window, with the running flag already cleared; the process still ends with 0.
scenario_startup_failure() {
    local name; name=$(basename "${SAVER%.*}")
    local key="Software\\Saverpak\\$name"
    probe reg-set-text "$key" Sound "loud" || fail "cannot set the bad value"
    probe spi-reset
    start_saver "$SAVER" /s
    local box; box=$(probe find "#32770" 5000) || { probe reg-delete "$key"; fail "no error box"; }
    probe reg-delete "$key"
    local info; info=$(probe info "$box")
    [ "$(probe spi-get)" = 0 ] || fail "running flag still set while the error shows"
    [ -z "$(probe find TScreensaverForm 0)" ] || fail "a saver window was created"
    probe post "$box" $WM_CLOSE 0 0
    expect_exit "the error box did not end the saver"
}

# The program as shipped starts and closes the same way.
scenario_shipped() {
    probe spi-reset
    xdotool mousemove 512 384
    start_saver "$SAVER" /s
    local wid
    wid=$(timeout 10 xdotool search --sync --onlyvisible --class "$(basename "$SAVER")" | head -1)
    [ -n "$wid" ] || fail "no saver window"
    xdotool key a
    expect_exit "a key did not close the shipped saver"
}

"scenario_$SCENARIO"
echo "PASS [$SCENARIO]"
