#!/bin/bash
# `make test`: builds the three presets and runs their suites, with the builds filling the time
# that the Windows scenarios spend waiting, then prints the time of each phase.
#
#   1. The Windows libraries, the Linux tool (the Windows suite compares its previews with it),
#      the imaging test pictures (all presets share them) and the Wine template prefix, side by
#      side.
#   2. The Windows programs that the scenario tests run (target scenario_programs).
#   3. The Windows scenario tests under Wine. Much of their time is spent waiting (for timers,
#      for the X server, for a second in which nothing may happen), so beside them run the rest
#      of the Windows build (the GoogleTest programs, at nice 10) and the native and asan builds
#      and suites (at nice 19). What those print is kept in build/logs and shown afterwards.
#      The scenarios still slow down by nearly half (about 175 s alone, 245-260 s here): on this
#      two-core machine two busy processes take as long together as one after the other,
#      whatever their priority.
#   4. The Windows GoogleTest programs under Wine.
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
# (its status is the job's)
finish() {
    local pid="$1" name="$2" log="$3" status=0
    wait "$pid" || { status=1; failed+=("$name"); }
    echo "=== $name"
    cat "$log"
    return $status
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
    echo "=== windows build (the programs the scenarios run)"
    $phase "configure windows" cmake --preset windows &&
        $phase "build windows programs" cmake --build --preset windows -j "$jobs" \
            --target scenario_programs &&
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
if (( windows_built )); then
    {
        renice -n 10 -p $BASHPID >/dev/null
        $phase "build windows unit tests" cmake --build --preset windows -j "$jobs"
    } >"$logs/windows-unit.log" 2>&1 </dev/null &
    windows_unit=$!
fi
{
    renice -n 19 -p $BASHPID >/dev/null
    status=0
    build_and_test native || status=1
    build_and_test asan || status=1
    exit $status
} >"$logs/linux.log" 2>&1 </dev/null &
linux=$!

if (( windows_built )); then
    echo "=== ctest --preset windows -LE unit (the scenarios, under Wine)"
    $phase "ctest windows scenarios" scripts/with-wine.sh -- ctest --preset windows -LE unit ||
        failed+=("windows scenarios")
    finish $windows_unit "windows build (the GoogleTest programs)" "$logs/windows-unit.log" &&
        { echo "=== ctest --preset windows -L unit (under Wine)"
          $phase "ctest windows unit tests" scripts/with-wine.sh -- ctest --preset windows -L unit ||
              failed+=("windows unit tests"); }
fi
finish $linux "native and asan (beside the Windows suite)" "$logs/linux.log"

echo "=== time of each phase"
$phase --print
if [[ ${#failed[@]} != 0 ]]; then
    printf -v list '%s, ' "${failed[@]}"
    echo "make test: FAILED: ${list%, } (see above)"
    exit 1
fi
