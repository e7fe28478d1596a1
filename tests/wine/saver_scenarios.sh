# Scenarios that the shell's and the preview's suites both run, each against its own saver.
# Source it after scenario_start.sh, with `probe` asking ShellProbe; the caller defines
# SHELL_PROBE (the ShellProbe program) and SCENARIO_WORK (a scratch folder).

_probe_host_stops=()

# start_probe_host NAME [W H]: a ShellProbe host window (client W x H) that takes the
# foreground; sets HOST to its handle. stop_probe_hosts ends every one of them.
start_probe_host() {
    local stop="$SCENARIO_WORK/stop-$1" out="$SCENARIO_WORK/host-$1.out"
    rm -f "$stop" "$out"
    _probe_host_stops+=("$stop")
    # Straight into the file: a pipe would hold the handle back until the host ends.
    wine "$SHELL_PROBE" host "$(win_path "$stop")" 60000 ${2:+"$2" "$3"} > "$out" 2>/dev/null &
    wait_for 10 grep -qs . "$out" || { fail "no host window"; return 1; }
    HOST="$(head -1 "$out" | tr -d '\r')"
}
stop_probe_hosts() {
    local stop
    for stop in "${_probe_host_stops[@]}"; do touch "$stop"; done
}

_scenario_pid=""
_scenario_gone() { ! kill -0 "$_scenario_pid" 2>/dev/null; }
# _scenario_ends WHY: the saver started last ends within 10 s, with status 0.
_scenario_ends() {
    if ! wait_for 10 _scenario_gone; then
        fail "$1: the saver did not end"
        kill "$_scenario_pid" 2>/dev/null
        return 1
    fi
    wait "$_scenario_pid" || fail "$1: the saver exited with status $?"
}

# preview_in_host SAVER CLASS: SAVER /p inside a host window of 152 x 112. Its window of CLASS
# becomes a child filling the host; the running flag and the host's foreground stay as they
# were; no key, click or movement closes it or hides the cursor; it ends with its host.
preview_in_host() {
    local saver=$1 class=$2
    probe set-running 0
    start_probe_host preview 152 112 || return 1
    local host=$HOST
    probe wait-foreground ShellProbeHost 5000 || fail "the host is not in front"
    wine "$saver" /p "$host" 2>/dev/null &
    _scenario_pid=$!
    local child; child="$(probe wait-child "$host" 10000)" ||
        { fail "no child in the host"; kill "$_scenario_pid"; return 1; }
    local info; info="$(probe info "$child")"
    [[ "$info" == *"class=$class "* ]] || fail "the child is not the saver: $info"
    local style="${info#*style=}"; style="${style%% *}"
    ((style & 0x40000000)) || fail "not a child window: $info"
    [[ "$(probe client "$child")" == 152x112 ]] || fail "child's client is $(probe client "$child")"
    [[ "$(probe running)" == 0 ]] || fail "the preview set the screen-saver-running flag"
    probe wait-foreground ShellProbeHost 3000 || fail "the host lost the foreground: $(probe foreground)"
    xdotool mousemove 170 150 mousemove_relative 30 20 click 1 key a
    probe post "$child" 0x0100 0x41 0  # WM_KEYDOWN
    probe post "$child" 0x0201 1 0     # WM_LBUTTONDOWN
    probe post "$child" 0x0112 0xF140 0  # WM_SYSCOMMAND SC_SCREENSAVE, passed on in a preview
    stays_false 1 _scenario_gone || fail "input closed the preview"
    local cursor; cursor="$(probe cursor)"
    [[ "$cursor" =~ ^cursor=[1-9][0-9]*\ flags=1$ ]] || fail "the preview hid the cursor: '$cursor'"
    stop_probe_hosts
    _scenario_ends "the preview's host went away"
}

# configure_disables_host SAVER KEY: SAVER /c started from a host window disables that window
# while the dialog is up; KEY closes the dialog and the host is enabled again.
configure_disables_host() {
    local saver=$1 key=$2
    start_probe_host parent || return 1
    local host=$HOST
    probe wait-foreground ShellProbeHost 5000 || fail "the host is not in front"
    wine "$saver" /c 2>/dev/null &
    _scenario_pid=$!
    probe find TConfigurationForm 15000 > /dev/null ||
        { fail "no configuration dialog"; kill "$_scenario_pid"; return 1; }
    probe wait-foreground TConfigurationForm 10000 || fail "the dialog did not come to the front"
    [[ "$(probe info "$host")" == *enabled=0* ]] || fail "the host stays enabled: $(probe info "$host")"
    xdotool key "$key"
    _scenario_ends "$key in the dialog" || return 1
    [[ "$(probe info "$host")" == *enabled=1* ]] || fail "the host stays disabled: $(probe info "$host")"
    stop_probe_hosts
}
