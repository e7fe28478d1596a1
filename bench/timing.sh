# Timing helpers of the benchmark scripts. Source it.

# best_ms RUNS COMMAND...: the best (smallest) wall time of RUNS runs, in milliseconds.
best_ms() {
    local runs="$1"; shift
    local best=999999999 start end
    for ((i = 0; i < runs; i++)); do
        ${BEFORE_RUN:-:}
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        (((end - start) / 1000000 < best)) && best=$(((end - start) / 1000000))
    done
    echo "$best"
}

ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
