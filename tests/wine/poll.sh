# Waiting and looking, for the shell scripts that drive Windows programs under Wine. Source it.
# Nothing here sleeps to synchronise: every wait polls its condition until a deadline.

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; fails when the time runs out.
wait_for() {
    local seconds="$1"; shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# stays_false SECONDS COMMAND...: succeeds when COMMAND keeps failing for that long, the check
# that something did NOT happen.
stays_false() {
    local seconds="$1"; shift
    ! wait_for "$seconds" "$@"
}

# pixel FILE X Y: "r,g,b" of one pixel of a screenshot, 0-255 each, whatever colour space
# ImageMagick picks for the file.
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info: 2>/dev/null
}

# win_path PATH: the Windows form of a Linux path. winepath now and then answers nothing while
# a fresh Wine environment settles; an empty path would turn into a confusing later failure, so
# it is asked again until it answers, and a lasting failure says so.
_win_path_answer=""
_win_path_try() { _win_path_answer="$(winepath -w "$1" 2>/dev/null)"; [[ -n "$_win_path_answer" ]]; }
win_path() {
    wait_for 10 _win_path_try "$1" || { echo "winepath gave no Windows path for $1" >&2; return 1; }
    printf '%s\n' "$_win_path_answer"
}
