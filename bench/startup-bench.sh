#!/bin/bash
# Start-up of a full-screen run under Wine, side by side in one run: from the start of
# `Saver.scr /s` until the module's window shows, against a bare launcher that only starts the
# same module (bench/StartupLauncher.cpp: KERNEL32 alone, no C runtime; two process starts on
# both sides). Modules of 1 MB and 50 MB (padded: bytes after a program's image are never
# loaded). Goal: at most 1.5x the launcher at 1 MB, 2.0x at 50 MB.
#
# Also where the saver's time goes, seen from outside (bench/startup-watch.py): its window
# shown, the run folder made, the copy done, the argument file written, the module's process
# started, the module's window shown; each the median over the runs, in ms from the start.
# Then the other two modes, whose start must not suffer: the configuration dialog (its window
# shown) and the preview (the saver's window made a child of the host's, bench/PreviewHost.cpp).
# With --trace, once more from inside: one start of each size under Wine's +timestamp trace,
# summed up by the libraries each process loads and the module's start.
#
# Each start finds Wine as a screen saver finds a running system: the wineserver warm and the
# desktop's process up. With --cold each start gets a fresh wineserver instead (the desktop's
# process then starts with the first window of the start, the saver's or the module's), as this
# bench first measured.
#
#   bench/startup-bench.sh [--trace] [--cold] [RUNS]    (needs the windows build: make windows)
# BEFORE_SCR=/path/to/an/older/Saverpak.scr adds that saver to the same run, for a before/after.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
windows="${WINDOWS_BUILD:-$root/build/windows}"
trace=0 cold=0
while [[ "${1:-}" == --* ]]; do
    case "$1" in
        --trace) trace=1 ;;
        --cold) cold=1 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
runs="${1:-7}"
work="$root/build/bench-startup"
rm -rf "$work"; mkdir -p "$work"
module="$windows/tests/wine/fullscreen/TestModule.exe"
for file in "$windows/presentation/Saverpak.scr" "$windows/tools/saverpak/saverpak.exe" "$module"; do
    [[ -f "$file" ]] || { echo "missing $file (build the windows preset)" >&2; exit 1; }
done
# No C runtime and its own entry point: the C runtime's start-up alone would import msvcrt.
x86_64-w64-mingw32-g++-posix -O2 -mwindows -nostdlib -e LauncherEntry -fno-exceptions \
    -o "$work/StartupLauncher.exe" "$root/bench/StartupLauncher.cpp" -lkernel32
imports=$(x86_64-w64-mingw32-objdump -p "$work/StartupLauncher.exe" | awk '/DLL Name:/ { print $3 }')
[[ "$imports" == KERNEL32.dll ]] || { echo "the launcher imports $imports, not KERNEL32 alone" >&2; exit 1; }
for size in 1 50; do
    mkdir -p "$work/m$size"
    cp "$module" "$work/m$size/Module.exe"
    truncate -s $((size * 1024 * 1024)) "$work/m$size/Module.exe"
done
x86_64-w64-mingw32-g++-posix -O2 -mwindows -static -o "$work/PreviewHost.exe" \
    "$root/bench/PreviewHost.cpp"
cp "$windows/presentation/Saverpak.scr" "$work/Now.scr"
[[ -z "${BEFORE_SCR:-}" ]] || cp "$BEFORE_SCR" "$work/Before.scr"
cp "$root/bench/startup-watch.py" "$root/bench/timing.sh" "$work/"

cat > "$work/inside.sh" <<'EOT'
#!/bin/bash
# Inside with-wine: packs the savers, then times each way of starting the module in turn.
set -uo pipefail
work="$1" runs="$2" trace="$3" cold="$4" saverpak="$5"
cd "$work"
savers=(Now); [[ -f Before.scr ]] && savers+=(Before)
for size in 1 50; do
    printf '[[module]]\nfile = "m%s/Module.exe"\nname = "Module.exe"\n' "$size" > "m$size.toml"
    for stub in "${savers[@]}"; do
        wine "$saverpak" build --stub "$stub.scr" --manifest "m$size.toml" -o "$stub-${size}MB.scr" \
            >/dev/null 2>&1 || { echo "cannot pack $stub-${size}MB.scr" >&2; exit 1; }
    done
done
temp="$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)"
# The desktop's process is up before the first start, as it is on a running system.
wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1
timed_start() {  # SIZE PROGRAM [ARGUMENT...]
    local size="$1"; shift
    if ((cold)); then
        wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; wineserver -p; wine cmd /c exit >/dev/null 2>&1
    fi
    python3 startup-watch.py "$temp" $((size * 1024 * 1024)) "$@"
}
median() { sort -n | sed -n "$(( ($1 + 1) / 2 ))p"; }
source timing.sh  # ratio
declare -A lines
ways=(launcher "${savers[@]}")
for ((i = 0; i < runs; i++)); do  # interleaved, so that the machine's load falls on all alike
    for size in 1 50; do
        for way in "${ways[@]}"; do
            if [[ $way == launcher ]]; then line="$(timed_start "$size" StartupLauncher.exe "m$size\\Module.exe")"
            else line="$(timed_start "$size" "$way-${size}MB.scr" /s)"; fi
            lines[$way$size]+="$line"$'\n'
        done
    done
done
column() { printf '%s' "${lines[$1]}" | awk -v c="$2" 'NF && $c > 0 { print $c }' | median "$runs"; }
seen() { printf '%s' "${lines[$1]}" | awk -v c="$2" 'NF && $c > 0' | wc -l; }
echo "load when done: $(cut -d' ' -f1-3 /proc/loadavg)$( ((cold)) && echo "; a fresh wineserver for each start")"
for size in 1 50; do
    bare=$(column "launcher$size" 6)
    goal=1.5; [[ $size == 50 ]] && goal=2.0
    echo "$size MB module, median of $runs: bare launcher: module started $(column "launcher$size" 5)," \
         "its window $bare ms"
    for way in "${savers[@]}"; do
        total=$(column "$way$size" 6)
        missed=$((runs - $(seen "$way$size" 6)))
        echo "  saver ($way): $total ms = $(ratio "$total" "$bare")x (goal <= $goal);" \
             "window shown $(column "$way$size" 1), run folder made $(column "$way$size" 2)," \
             "copy done $(column "$way$size" 3), argument file $(column "$way$size" 4)," \
             "module started $(column "$way$size" 5) ms$( ((missed)) && echo "; $missed runs saw no module window")"
    done
done

declare -A other
for ((i = 0; i < runs; i++)); do
    for way in "${savers[@]}"; do
        other[configure$way]+="$(timed_start 1 "$way-1MB.scr" /c | cut -d' ' -f1)"$'\n'
        other[preview$way]+="$(wine PreviewHost.exe "$way-1MB.scr" | tr -d '\r')"$'\n'
    done
done
for way in "${savers[@]}"; do
    echo "other modes, saver ($way), median of $runs: configuration dialog shown" \
         "$(printf '%s' "${other[configure$way]}" | median "$runs") ms, preview attached" \
         "$(printf '%s' "${other[preview$way]}" | median "$runs") ms"
done
((trace)) || exit 0

# From inside: Wine's own trace of one start of each size, in ms from the saver's first line.
for size in 1 50; do
    rm -rf "$temp"/Saverpak-*
    WINEDEBUG=+timestamp,+loaddll,+process,+debugstr timeout 20 wine "Now-${size}MB.scr" /s 2> "trace-$size.txt" &
    python3 - "$work/trace-$size.txt" <<'EOP'
import sys, time
deadline = time.monotonic() + 15
while time.monotonic() < deadline:
    if "imm32" in open(sys.argv[1], errors="replace").read().split("Module.exe", 1)[-1]: break
    time.sleep(0.1)
EOP
    sleep 0.5; xdotool key Escape; wait
    echo "$size MB module, one start under Wine's trace (ms from the saver's first line):"
    python3 - "$work/trace-$size.txt" <<'EOP'
import re, sys
marks, first, saver = [], None, None
for line in open(sys.argv[1], errors="replace"):
    m = re.match(r"(\d+\.\d+):([0-9a-f]{4}):(.*)", line)
    if not m: continue
    t, thread, text = float(m.group(1)), m.group(2), m.group(3)
    if first is None: first, saver = t, thread
    who = "saver " if thread == saver else "module"
    if "loaddll:build_module Loaded" in text:
        marks.append((t, who, "loaded " + re.search(r'\\\\([^\\"]+)"', text).group(1)))
    elif "CreateProcessInternalW started" in text:
        marks.append((t, who, "module process created"))
    elif "OutputDebugString" in text:  # marks of a build made to measure itself
        marks.append((t, who, "mark " + text.split('"')[1]))
for t, who, what in marks:
    print(f"  {1000 * (t - first):6.0f}  {who}  {what}")
EOP
done
EOT
chmod +x "$work/inside.sh"
"$root/scripts/with-wine.sh" -- "$work/inside.sh" "$work" "$runs" "$trace" "$cold" "$windows/tools/saverpak/saverpak.exe"
