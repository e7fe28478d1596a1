#!/bin/bash
# The saverpak tool on a large saver: a 500 MB module (size in MB as the first argument).
#   - build: wall time against `cp` of the same bytes (goal: at most 1.5 times), page cache warm;
#   - build, verify, list, list --json, extract: peak memory (goal: under 64 MB each).
# Needs the native build (make native). Run by hand: bench/tool-bench.sh [MB]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="${NATIVE_BUILD:-$root/build/native}"
saverpak="$native/tools/saverpak/saverpak"
mb="${1:-500}"
work="$root/build/bench-tool"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

source "$root/bench/timing.sh"
# Each timed run writes a new file and starts with no dirty pages left by the one before
# (removal and `sync` not timed): neither the write-back nor the freeing of the last run's
# blocks is counted.
fresh_best_ms() {
    local runs="$1" output="$2"; shift 2
    BEFORE_RUN="fresh_output $output" best_ms "$runs" "$@"
}
fresh_output() { rm -f "$1"; sync; }

# Peak resident memory of one run, in MB.
peak_mb() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
    echo $(($(cat "$work/rss") / 1024))
}

{ printf 'MZ'; head -c $((mb * 1024 * 1024 - 2)) /dev/urandom; } > "$work/big.exe"
cp "$native/tests/native/stub/TestStub.scr" "$work/stub.scr"  # a stub with the saver's marker
printf '[[module]]\nfile = "big.exe"\nname = "big.exe"\n' > "$work/saver.toml"
cat "$work/stub.scr" "$work/big.exe" > /dev/null  # warm the page cache

build=("$saverpak" build --stub "$work/stub.scr" --manifest "$work/saver.toml" -o "$work/saver.scr")
build_ms=$(fresh_best_ms 5 "$work/saver.scr" "${build[@]}")
cp_ms=$(fresh_best_ms 5 "$work/copy.exe" cp "$work/big.exe" "$work/copy.exe")
echo "== a saver around a $mb MB module"
echo "build: $build_ms ms   cp of the module: $cp_ms ms   build/cp: $(ratio "$build_ms" "$cp_ms") (goal <= 1.5)"
echo "peak memory (goal < 64 MB each):"
echo "  build           $(peak_mb "${build[@]}") MB"
echo "  verify          $(peak_mb "$saverpak" verify "$work/saver.scr") MB"
echo "  list            $(peak_mb "$saverpak" list "$work/saver.scr") MB"
echo "  list --json     $(peak_mb "$saverpak" list --json "$work/saver.scr") MB"
echo "  extract         $(peak_mb "$saverpak" extract "$work/saver.scr" --module 0 -o "$work/out.exe") MB"
cmp -s "$work/big.exe" "$work/out.exe" || { echo "extracted bytes differ" >&2; exit 1; }
