# The start every scenario script shares. Source it as
#   source "<tests/wine>/scenario_start.sh" WORK PROBE
# with WORK the script's scratch folder (made afresh here) and PROBE the probe program it asks.
# It sources poll.sh and defines
#   fail WHY                counts a failure in `failures` and says it, tagged with $current
#   check WHAT COMMAND...   fails WHAT unless COMMAND succeeds
#   probe ARGS...           PROBE under Wine, its output without \r, its status kept
#   wine_temp               sets `temp` to Wine's temporary folder as a Linux path, or exits
#   our_modules [NAME]      the process ids of NAME.exe (default TestModule) in this Wine prefix
source "$(dirname "${BASH_SOURCE[0]}")/poll.sh"
rm -rf "$1"
mkdir -p "$1"
_scenario_probe="$2"

failures=0
current="${current:-}"
fail() { echo "FAIL${current:+ [$current]}: $*"; failures=$((failures + 1)); }
check() { local what="$1"; shift; "$@" || fail "$what"; }
probe() { wine "$_scenario_probe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
wine_temp() {
    temp="$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)"
    [[ -d "$temp" ]] || { echo "cannot find Wine's temporary folder"; exit 1; }
}
# The programs that run in this script's Wine environment: other Wine environments on the
# machine (other test runs) are none of its business, neither to count nor to end.
our_modules() {
    local pid
    for pid in $(pgrep -f "[\\]${1:-TestModule}\.exe"); do
        tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
}
