# Waiting and looking, for the shell scripts that drive Windows programs under Wine. Source it.
# Nothing here sleeps to synchronise: every wait polls its condition until a deadline.

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds; fails when the time runs out.
# It pauses 50 ms between polls, or as long as a poll took (at most 0.5 s): a poll that starts a
# Wine program takes 0.1 s of processor time, which the program waited for needs more.
wait_for() {
    local seconds="$1"; shift
    local deadline=$((SECONDS + seconds)) start pause
    while true; do
        start="${EPOCHREALTIME//[!0-9]/}"
        "$@" && return 0
        ((SECONDS < deadline)) || return 1
        pause=$((${EPOCHREALTIME//[!0-9]/} - start))
        ((pause < 50000)) && pause=50000
        ((pause > 500000)) && pause=500000
        printf -v pause '0.%06d' "$pause"
        sleep "$pause"
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

# win_path PATH: the Windows form of a Linux path. In the prefixes of scripts/with-wine.sh (C: is
# drive_c, Z: the root) worked out as winepath would, without its Wine process of 0.15 s a path.
# Elsewhere winepath, asked again while a fresh Wine environment settles and answers nothing.
_win_path_answer=""
_win_path_try() { _win_path_answer="$(winepath -w "$1" 2>/dev/null)"; [[ -n "$_win_path_answer" ]]; }
_win_path_drives=winepath
[[ -n "${WINEPREFIX:-}" && "$(readlink "$WINEPREFIX/dosdevices/c:")" == ../drive_c &&
   "$(readlink "$WINEPREFIX/dosdevices/z:")" == / &&
   "$(cd "$WINEPREFIX/dosdevices" 2>/dev/null && echo *)" == "c: com1 z:" ]] && _win_path_drives=cz
win_path() {
    local path="$1" drive_c="${WINEPREFIX:-}/drive_c"
    if [[ "$_win_path_drives" == cz ]]; then
        [[ "$path" == /* ]] || path="$PWD/$path"
        case "$path" in
            "$drive_c") path='C:/' ;;
            "$drive_c"/*) path="C:${path#"$drive_c"}" ;;
            *) path="Z:$path" ;;
        esac
        printf '%s\n' "${path//\//\\}"
    elif wait_for 10 _win_path_try "$1"; then
        printf '%s\n' "$_win_path_answer"
    else
        echo "winepath gave no Windows path for $1" >&2
        return 1
    fi
}
