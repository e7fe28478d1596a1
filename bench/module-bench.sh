#!/bin/bash
# Module start-up costs, printed as ratios against doing the same work without the saver:
#   1. extracting a 50 MB module with `saverpak extract` (the saver's reader, streamed), natively
#      and whole process, against `dd bs=8k` copying the same bytes;     goal >= 90 % of dd
#   2. under Wine, starting the .scr until the module's window is visible, against starting
#      the module program itself, for a 1 MB and a 50 MB module;         goal <= 2.0x at 1 MB
# Needs the native and windows builds (make native windows). Run by hand: bench/module-bench.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="${NATIVE_BUILD:-$root/build/native}"
windows="${WINDOWS_BUILD:-$root/build/windows}"
saverpak="$native/tools/saverpak/saverpak"
work="$root/build/bench-module"
rm -rf "$work"
mkdir -p "$work"

source "$root/bench/timing.sh"

# Packs MODULE as module 0 of a saver around STUB.
pack() {
    local stub="$1" module="$2" out="$3"
    printf '[[module]]\nfile = "%s"\nname = "%s"\n' "$module" "$(basename "$module")" > "$out.toml"
    "$saverpak" build --stub "$stub" --manifest "$out.toml" -o "$out" >/dev/null
}

echo "== extraction of a 50 MB module (native, page cache warm)"
{ printf 'MZ'; head -c $((50 * 1024 * 1024 - 2)) /dev/urandom; } > "$work/big.exe"
cp "$native/tests/native/stub/TestStub.scr" "$work/stub.exe"  # a stub with the saver's marker
pack "$work/stub.exe" "$work/big.exe" "$work/big.scr"
extract_ms=$(best_ms 5 "$saverpak" extract "$work/big.scr" --module 0 -o "$work/out.exe")
cmp -s "$work/big.exe" "$work/out.exe" || { echo "extracted bytes differ" >&2; exit 1; }
dd_ms=$(best_ms 5 dd if="$work/big.exe" of="$work/dd.exe" bs=8k)
echo "saverpak extract: $extract_ms ms   dd bs=8k: $dd_ms ms   extraction speed: $(ratio "$dd_ms" "$extract_ms") of dd (goal >= 0.90)"

if [[ ! -f "$windows/presentation/Saverpak.scr" || ! -f "$windows/demo/Snowfall.exe" ]]; then
    echo "(no windows build: start-up under Wine skipped)"
    exit 0
fi
echo "== start-up under Wine: .scr until the module's window shows, against the module alone"
for size in 1 50; do
    # The demo module, padded to the size: bytes after a program's image are never loaded.
    cp "$windows/demo/Snowfall.exe" "$work/Snowfall$size.exe"
    truncate -s $((size * 1024 * 1024)) "$work/Snowfall$size.exe"
    pack "$windows/presentation/Saverpak.scr" "$work/Snowfall$size.exe" "$work/Snowfall$size.scr"
done
cat > "$work/startup.sh" <<'EOT'
#!/bin/bash
# Inside with-wine: prints the milliseconds from start until a window named Snowfall shows.
visible_after() {
    local start end pid
    start=$(date +%s%N)
    SNOWFALL_SECONDS=0 wine "$@" & pid=$!
    until xdotool search --onlyvisible --name '^Snowfall$' >/dev/null 2>&1; do sleep 0.005; done
    end=$(date +%s%N)
    xdotool key Escape >/dev/null 2>&1; kill "$pid" 2>/dev/null; wineserver -k 2>/dev/null; wait
    # A fresh wineserver for the next run, kept warm as the saver finds it.
    wineserver -p; wine cmd /c exit >/dev/null 2>&1
    echo $(((end - start) / 1000000))
}
median() { sort -n | sed -n "$(( ($1 + 1) / 2 ))p"; }
cd "$1"
wineserver -p; wine cmd /c exit >/dev/null 2>&1
for size in 1 50; do
    direct=$(for i in 1 2 3 4 5; do visible_after "Snowfall$size.exe"; done | median 5)
    saver=$(for i in 1 2 3 4 5; do visible_after "Snowfall$size.scr" /s; done | median 5)
    goal=""; [[ $size == 1 ]] && goal=" (goal <= 2.0)"
    echo "$size MB module: directly $direct ms, through the saver $saver ms: $(python3 -c "print(f'{$saver / $direct:.2f}')")x$goal"
done
EOT
chmod +x "$work/startup.sh"
"$root/scripts/with-wine.sh" -- "$work/startup.sh" "$work"
