#!/bin/bash
# The time of each phase of a build and test run, for `make test` to print at its end.
#
#   phase.sh NAME COMMAND...   runs COMMAND, notes NAME and its wall and CPU seconds, keeps its status
#   phase.sh --reset           starts a fresh list
#   phase.sh --print           prints the list and its total
set -u
log="${SAVERPAK_PHASE_LOG:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/phases.log}"
case "${1:-}" in
    --reset) mkdir -p "$(dirname "$log")"; : > "$log"; exit 0 ;;
    --print)
        [[ -f "$log" ]] || exit 0
        awk -F'\t' '{ printf "  %-34s %7.1f s wall %7.1f s cpu%s\n", $1, $2, $3, $4 == 0 ? "" : "  (failed)"; w += $2; c += $3 }
                    END { printf "  %-34s %7.1f s wall %7.1f s cpu\n", "total", w, c }' "$log"
        exit 0 ;;
esac
name="$1"; shift
mkdir -p "$(dirname "$log")"
start=$EPOCHREALTIME
"$@"
status=$?
end=$EPOCHREALTIME
# The CPU time of the children (user and system), from bash's `times` (its second line).
times > "$log.times"
cpu="$(awk 'NR == 2 { gsub(/s/, ""); split($0, f, /[ m]/); print f[1] * 60 + f[2] + f[3] * 60 + f[4] }' "$log.times")"
rm -f "$log.times"
printf '%s\t%s\t%s\t%s\n' "$name" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
    "$cpu" "$status" >> "$log"
exit $status
