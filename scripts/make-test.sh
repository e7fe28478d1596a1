#!/bin/bash
# `make test`: builds the three presets and runs their suites in the order that keeps both cores
# of a two-core machine busy, then prints the time of each phase.
#
#   1. The Windows libraries, the Linux tool (the Windows suite compares its previews with it),
#      the imaging test pictures (all presets share them) and the Wine template prefix, side by
#      side.
#   2. The Windows build, on both cores.
#   3. The Windows suite under Wine. It leaves much of the processor idle while it waits for Wine
#      and the X server, so the native and asan builds and suites run beside it at the lowest
#      priority (nice 19). The suite still slows (about 245 s alone, 315-340 s beside them: Wine's
#      server and the X server share the cores), but the whole run is shorter than one after the
#      other. What the Linux side prints is kept in build/logs/linux.log and shown after the
#      Windows suite.
#
# Every suite runs even when a build or another suite fails; the status is a failure if any did.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
jobs="${JOBS:-2}"
phase=scripts/phase.sh
logs=build/logs

$phase --reset
$phase deps scripts/install-deps.sh || exit 1
mkdir -p "$logs"
rm -f "$logs"/*.log

failed=()
# waits for the background job PID, shows what it printed (LOG) and notes NAME if it failed
finish() {
    local pid="$1" name="$2" log="$3"
    wait "$pid" || failed+=("$name")
    echo "=== $name"
    cat "$log"
}

$phase libjpeg scripts/build-libjpeg-windows.sh >"$logs/libjpeg.log" 2>&1 &
libjpeg=$!
$phase libpng scripts/build-libpng-windows.sh >"$logs/libpng.log" 2>&1 &
libpng=$!
{ $phase "configure native" cmake --preset native &&
  $phase "build native tool" cmake --build --preset native -j "$jobs" \
      --target saverpak imaging_test_pictures
} >"$logs/tool.log" 2>&1 &
tool=$!
$phase "wine template" scripts/with-wine.sh --prepare >"$logs/wine.log" 2>&1 &
template=$!

finish $libjpeg libjpeg "$logs/libjpeg.log"
finish $libpng libpng "$logs/libpng.log"
windows_built=0
if [[ ${#failed[@]} == 0 ]]; then
    echo "=== windows build"
    $phase "configure windows" cmake --preset windows &&
        $phase "build windows" cmake --build --preset windows -j "$jobs" &&
        windows_built=1
fi
(( windows_built )) || failed+=("windows build")
finish $tool "native tool" "$logs/tool.log"
finish $template "wine template" "$logs/wine.log"

# One preset's build and suite; a suite only runs when its build succeeded.
build_and_test() {
    local preset="$1"
    echo "=== $preset build"
    if ! { $phase "configure $preset" cmake --preset "$preset" &&
           $phase "build $preset" cmake --build --preset "$preset" -j "$jobs"; }; then
        echo "$preset build FAILED"
        return 1
    fi
    echo "=== ctest --preset $preset"
    $phase "ctest $preset" ctest --preset "$preset" -j "$jobs"
}
{
    renice -n 19 -p $BASHPID >/dev/null
    status=0
    build_and_test native || status=1
    build_and_test asan || status=1
    exit $status
} >"$logs/linux.log" 2>&1 </dev/null &
linux=$!

if (( windows_built )); then
    echo "=== ctest --preset windows (under Wine)"
    $phase "ctest windows" scripts/with-wine.sh -- ctest --preset windows || failed+=("windows suite")
fi
finish $linux "native and asan (beside the Windows suite)" "$logs/linux.log"

echo "=== time of each phase"
$phase --print
if [[ ${#failed[@]} != 0 ]]; then
    printf -v list '%s, ' "${failed[@]}"
    echo "make test: FAILED: ${list%, } (see above)"
    exit 1
fi
