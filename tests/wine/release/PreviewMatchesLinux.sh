#!/bin/bash
# The Windows tool (under Wine) and the Linux tool write the same PNG bytes for the same picture
# and options: a few pictures at every screen depth, the fixed palette, a fitted size.
# Usage: PreviewMatchesLinux.sh LINUX-TOOL WINE WINDOWS-TOOL PICTURES WORK
set -uo pipefail
linux=$1 wine=$2 windows=$3 pictures=$4 work=$5
[[ -x "$linux" ]] || { echo "SKIP: no Linux tool at $linux (build the native preset)"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
failed=0
n=0
compare() {  # compare PICTURE OPTIONS...
    local picture=$pictures/$1
    shift
    n=$((n + 1))
    "$linux" preview "$picture" "$@" -o "$work/$n.linux.png" \
        && $wine "$windows" preview "$picture" "$@" -o "$work/$n.windows.png" \
        && cmp "$work/$n.linux.png" "$work/$n.windows.png" \
        || { echo "FAIL: preview $picture $*"; failed=1; }
}
for picture in src24.bmp src8.bmp c420.jpg; do
    for depth in 4 8 16 24; do compare "$picture" --depth "$depth"; done
done
compare src24.bmp --depth 8 --adaptive 0
compare c420.jpg --depth 16 --size 40x30
exit $failed
