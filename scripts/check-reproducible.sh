#!/bin/bash
# Builds the release binaries of the checked-out commit twice, in two fresh clones whose folder
# names differ (in length too), one after the other and without the compiler cache, and checks
# that the two builds are byte-identical. The cross-built libjpeg and libpng are copied from
# build/deps/windows (make libjpeg libpng).
# Usage: scripts/check-reproducible.sh      (make reproducible)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
programs=(presentation/Saverpak.scr presentation/Slideshow.exe tools/saverpak/saverpak.exe demo/Snowfall.exe)
log() { echo "reproducible: $*" >&2; }

[[ -f "$root/build/deps/windows/lib/libjpeg.a" && -f "$root/build/deps/windows/lib/libpng.a" ]] \
    || { log "error: no libjpeg/libpng in build/deps/windows; run make libjpeg libpng"; exit 1; }
commit="$(git -C "$root" rev-parse HEAD)"
[[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ]] \
    || log "note: uncommitted changes are not part of the check (commit $commit is built)"
work="$(mktemp -d /tmp/saverpak-reproducible.XXXXXX)"
trap 'rm -rf "$work"' EXIT

folders=("$work/a" "$work/second-checkout-of-saverpak")
for src in "${folders[@]}"; do
    log "building $commit in $src ($(date -u +%T))"
    git clone -q --no-checkout "$root" "$src"
    git -C "$src" checkout -q --detach "$commit"
    mkdir -p "$src/build/deps"
    cp -a "$root/build/deps/windows" "$src/build/deps/"
    (cd "$src" && export CCACHE_DISABLE=1 \
        && cmake --preset windows -DSAVERPAK_TESTS=OFF >"$src/configure.log" \
        && cmake --build --preset windows -j2 --target saver Slideshow saverpak Snowfall >"$src/build.log") \
        || { log "error: the build in $src failed:"; tail -20 "$src/build.log" >&2; exit 1; }
done

status=0
for program in "${programs[@]}"; do
    first="${folders[0]}/build/windows/$program" second="${folders[1]}/build/windows/$program"
    if cmp -s "$first" "$second"; then
        log "same:   $program ($(stat -c %s "$first") bytes, sha256 $(sha256sum < "$first" | cut -c1-16)...)"
    else
        log "DIFFER: $program ($(cmp -l "$first" "$second" | wc -l) bytes differ)"
        status=1
    fi
done
exit $status
