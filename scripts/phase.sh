#!/bin/bash
# The time of each phase of a build and test run, for `make test` to print at its end. Phases may
# run side by side: each is listed with the moment it started, and the total is the time from the
# first start to the last end, not the sum.
#
#   phase.sh NAME COMMAND...   runs COMMAND, notes NAME, its start, wall and CPU seconds, keeps its status
#   phase.sh --reset           starts a fresh list
#   phase.sh --print           prints the list and its total
set -u
log="${SAVERPAK_PHASE_LOG:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/phases.log}"
case "${1:-}" in
    --reset) mkdir -p "$(dirname "$log")"; : > "$log"; exit 0 ;;
    --print)
        [[ -s "$log" ]] || exit 0
        sort -t$'\t' -k2,2n "$log" | awk -F'\t' '
            NR == 1 { first = $2; last = $2
                      printf "  %-34s %8s %9s %9s\n", "phase", "start", "wall", "cpu" }
            { printf "  %-34s %6.1f s %7.1f s %7.1f s%s\n", $1, $2 - first, $3, $4, $5 == 0 ? "" : "  (failed)"
              if ($2 + $3 > last) last = $2 + $3; cpu += $4 }
            END { printf "  %-34s %8s %7.1f s %7.1f s\n", "total (first start to last end)", "", last - first, cpu }'
        exit 0 ;;
esac
name="$1"; shift
mkdir -p "$(dirname "$log")"
start=$EPOCHREALTIME
"$@"
status=$?
end=$EPOCHREALTIME
# The CPU time of the children (user and system), from bash's `times` (its second line).
times > "$log.times.$$"
cpu="$(awk 'NR == 2 { gsub(/s/, ""); split($0, f, /[ m]/); print f[1] * 60 + f[2] + f[3] * 60 + f[4] }' "$log.times.$$")"
rm -f "$log.times.$$"
# One short line in one write: phases that end together do not mix their lines.
printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$start" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" \
    "$cpu" "$status" >> "$log"
exit $status
