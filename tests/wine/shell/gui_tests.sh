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
SAVER_PID= FIRST_PID=
DESKTOP='Control Panel\Desktop'
TEST_KEY='Software\Saverpak Tests\Password'
WM_SYSCOMMAND=0x0112 WM_CLOSE=0x0010 WM_KEYDOWN=0x0100 WM_LBUTTONDOWN=0x0201
SC_CLOSE=0xF060 SC_SCREENSAVE=0xF140

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SHELL_PROBE=$PROBE SCENARIO_WORK=$WORK
source "$HERE/../scenario_start.sh" "$WORK" "$PROBE"
source "$HERE/../saver_scenarios.sh"

# The password double lives in the system folder, the only place the saver loads it from; a
# scenario leaves it there as it found it.
SYSTEM_DOUBLE="${WINEPREFIX:-$HOME/.wine}/drive_c/windows/system32/PASSWORD.CPL"
[ -e "$SYSTEM_DOUBLE" ] && DOUBLE_WAS_THERE=1 || DOUBLE_WAS_THERE=0
install_double() { bash "$HERE/password_double.sh" install "$PASSWORD_DOUBLE" || fail "cannot install the double"; }
remove_double() { bash "$HERE/password_double.sh" remove; }

cleanup() {
    [ -n "$SAVER_PID" ] && kill "$SAVER_PID" 2>/dev/null
    [ -n "$FIRST_PID" ] && kill "$FIRST_PID" 2>/dev/null
    stop_probe_hosts
    probe reg-delete "$DESKTOP" ScreenSaveUsePassword
    probe reg-delete "$TEST_KEY"
    probe set-running 0
    if [ "$DOUBLE_WAS_THERE" = 1 ]; then install_double; else remove_double; fi
}
trap cleanup EXIT

fail() { echo "FAIL [$SCENARIO]: $*"; exit 1; }

now_ms() { date +%s%3N; }

# Started in its own folder, which a search for libraries by bare name would look in first.
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
    SAVER_HWND=$(probe find TkwScreensaverForm 5000) || fail "no saver window"
    probe wait-foreground TkwScreensaverForm 5000 || fail "saver window not in front"
}
# A full-screen run started with the pointer at the centre.
start_full_screen() {
    probe set-running 0
    xdotool mousemove 512 384
    start_saver "$SAVER" /s
    find_saver_window
}

# The hidden application window of the saver started last; its caption is the title.
application_window() {
    probe find-title TApplication "$(basename "${SAVER%.*}") Screen Saver"
}

# Full-screen run: looks, the running flag, the cursor, and the 8-pixel threshold measured
# from where the cursor was when the saver appeared. The shipped saver runs without content, so
# its error line scrolls along the top edge; the rest is black.
scenario_run_mouse() {
    start_full_screen
    local info; info=$(probe info "$SAVER_HWND")
    local w h; read -r w h <<< "$(probe screen)"
    case $info in *"rect=0,0,$w,$h "*) ;; *) fail "not full-screen ($w x $h): $info";; esac
    local exstyle=${info#*exstyle=}; exstyle=${exstyle%% *}
    (( exstyle & 0x8 )) || fail "not topmost: $info"
    [ "$(probe running)" = 1 ] || fail "screen-saver-running flag not set during the run"
    import -window root "$WORK/run.png"
    for p in "5 40" "$((w - 6)) $((h - 6))" "$((w / 2)) $((h / 2))" "$((w - 6)) 40"; do
        [ "$(pixel "$WORK/run.png" $p)" = "gray(0)" ] || fail "not black at $p"
    done
    poll_probe 3000 "cursor=0 flags=1" cursor || fail "cursor not hidden"
    xdotool mousemove_relative 8 0
    xdotool mousemove_relative -- 0 -8
    stays_alive 500 "a movement of 8 pixels on each axis closed it"
    xdotool mousemove_relative 1 0
    expect_exit "a 9-pixel movement did not close it"
    [ "$(probe running)" = 0 ] || fail "screen-saver-running flag not cleared after the run"
}

# Keys (plain and with Alt) and every button close it; SC_CLOSE and SC_SCREENSAVE do not.
scenario_run_keys() {
    local how
    for how in "key a" "click 1" "click 2" "click 3" "key alt+x"; do
        start_full_screen
        if [ "$how" = "key a" ]; then
            probe post "$SAVER_HWND" $WM_SYSCOMMAND $SC_CLOSE 0
            probe post "$SAVER_HWND" $WM_SYSCOMMAND $SC_SCREENSAVE 0
            stays_alive 400 "SC_CLOSE or SC_SCREENSAVE closed it"
        fi
        xdotool $how
        expect_exit "'xdotool $how' did not close it"
    done
}

# A preview with no window to draw into (no number, a number that names no window, the
# handle of a window that has gone) shows nothing and ends at once with 0.
scenario_preview_without_parent() {
    start_probe_host gone || fail "no host"
    local gone=$HOST
    stop_probe_hosts
    poll_probe 5000 "" info "$gone" > /dev/null || fail "the host window did not go"
    local line
    for line in "/p" "/p 1" "/p $gone"; do
        probe set-running 0
        start_saver "$SAVER" $line
        expect_exit "'$line' did not end at once"
    done
}

# A password in force: the double refuses once, then accepts. After the refusal movement is
# measured from where the cursor was at that moment.
# The saver with a password in force, and the double holding its dialog when $1 is 1.
start_with_password() {
    probe reg-delete "$TEST_KEY"
    probe reg-set "$TEST_KEY" Hold "$1"
    probe reg-set "$DESKTOP" ScreenSaveUsePassword 1 || fail "cannot set ScreenSaveUsePassword"
    install_double
    start_full_screen
}

scenario_password() {
    start_with_password 0
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

    # None in the system folder: there is nothing to ask with and the first key closes it.
    # Copies planted beside the saver and in the current folder are never loaded.
    remove_double
    probe reg-delete "$TEST_KEY"
    mkdir -p "$WORK/planted" "$WORK/current"
    cp "$SAVER" "$WORK/planted/saver.scr"
    cp "$PASSWORD_DOUBLE" "$WORK/planted/PASSWORD.CPL"
    cp "$PASSWORD_DOUBLE" "$WORK/current/PASSWORD.CPL"
    (cd "$WORK/current" && exec wine "$WORK/planted/saver.scr" /s) & SAVER_PID=$!
    find_saver_window
    xdotool key a
    expect_exit "a key did not close it without the password library"
    [ "$(probe reg-get "$TEST_KEY" Calls)" = none ] || fail "a planted PASSWORD.CPL was asked"
    local mark
    for mark in "$WORK/planted/PASSWORD.CPL.loaded" "$WORK/current/PASSWORD.CPL.loaded"; do
        [ ! -e "$mark" ] || fail "loaded: ${mark%.loaded}"
    done
}

# A close requested while the password dialog is up (WM_CLOSE to the saver window and to the
# application window) is refused: only the right password closes the saver.
scenario_close_during_password() {
    start_with_password 1
    local application; application=$(application_window) || fail "no application window"
    xdotool key a
    poll_probe 3000 1 reg-get "$TEST_KEY" Calls || fail "password not asked"
    probe post "$SAVER_HWND" $WM_CLOSE 0 0 || fail "cannot post to the saver window"
    probe post "$application" $WM_CLOSE 0 0 || fail "cannot post to the application window"
    probe reg-set "$TEST_KEY" Release 1
    poll_probe 3000 1 reg-get "$TEST_KEY" Answered || fail "the password dialog did not answer"
    stays_alive 600 "a close during the password dialog ended it; the password was wrong"
    xdotool key a
    expect_exit "the right password did not close it"
    [ "$(probe reg-get "$TEST_KEY" Calls)" = 2 ] || fail "password not asked twice"
}

# The configuration twice: the second process ends at once with 0 and brings the first
# one's window back in front of another window. Started from a window, the first one takes its
# application window into that window (see configure_parent), and must still be found.
configure_twice() {  # configure_twice [from-window]
    if [ "${1:-}" = from-window ]; then
        start_probe_host caller || fail "no host"
        probe wait-foreground ShellProbeHost 3000 || fail "host not in front"
    fi
    start_saver "$SAVER" /c
    FIRST_PID=$SAVER_PID
    local config; config=$(probe find TConfigurationForm 5000) || fail "no configuration window"
    probe wait-foreground TConfigurationForm 3000 || fail "configuration not in front"
    start_probe_host other || fail "no host"
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
scenario_configure_twice() { configure_twice; }
scenario_configure_from_window() { configure_twice from-window; }

# Started with /c from a window, the configuration disables that window while it is up.
scenario_configure_parent() { configure_disables_host "$SAVER" Return; }

# The password change mode asks the system's change dialog (the double, holding until it is
# released) for "SCRSAVE", owned by the window given, and shows nothing of its own meanwhile.
scenario_change_password() {
    probe set-running 0
    probe reg-delete "$TEST_KEY"
    probe reg-set "$TEST_KEY" Hold 1
    install_double
    start_probe_host owner || fail "no host"
    start_saver "$SAVER" /a "$HOST"
    poll_probe 5000 1 reg-get "$TEST_KEY" ChangeCalls || fail "the change dialog was not asked for"
    kill -0 "$SAVER_PID" 2>/dev/null || fail "the saver did not wait for the change dialog"
    [ "$(probe reg-get-text "$TEST_KEY" ChangeProvider)" = SCRSAVE ] ||
        fail "provider $(probe reg-get-text "$TEST_KEY" ChangeProvider)"
    [ "$(probe reg-get "$TEST_KEY" ChangeOwner)" = "$HOST" ] ||
        fail "owner $(probe reg-get "$TEST_KEY" ChangeOwner), not $HOST"
    [ -z "$(probe find TkwScreensaverForm 0)" ] || fail "a saver window appeared"
    [ -z "$(probe find TConfigurationForm 0)" ] || fail "a configuration window appeared"
    [ "$(probe running)" = 0 ] || fail "password change set the screen-saver-running flag"
    probe reg-set "$TEST_KEY" Release 1
    expect_exit "the password change mode did not end"
}

# A settings value of the wrong type ends the start in the framework's exception box, before
# any window, with the running flag already cleared; the process still ends with 0.
scenario_startup_failure() {
    local name; name=$(basename "${SAVER%.*}")
    local key="Software\\Saverpak\\$name"
    probe reg-set-text "$key" Sound "loud" || fail "cannot set the bad value"
    probe set-running 0
    start_saver "$SAVER" /s
    local box; box=$(probe find "#32770" 5000) || { probe reg-delete "$key"; fail "no error box"; }
    probe reg-delete "$key"
    local info; info=$(probe info "$box")
    case $info in *"text=$name Screen Saver") ;; *) fail "not the saver's box: $info";; esac
    probe controls "$box" | grep -q "text=Invalid data type for 'Sound'\$" ||
        fail "not the settings error: $(probe controls "$box")"
    [ "$(probe running)" = 0 ] || fail "running flag still set while the error shows"
    [ -z "$(probe find TkwScreensaverForm 0)" ] || fail "a saver window was created"
    probe post "$box" $WM_CLOSE 0 0
    expect_exit "the error box did not end the saver"
}

# A name with no scenario is refused, not run as a command that is not found.
declare -F "scenario_$SCENARIO" > /dev/null || { echo "FAIL: no scenario '$SCENARIO'"; exit 2; }
"scenario_$SCENARIO"
echo "PASS [$SCENARIO]"
