#!/bin/bash
# Start-up of a full-screen run under Wine, side by side in one run: from the start of
# `Saver.scr /s` until the module's window shows, against a bare launcher that only starts the
# same module (bench/StartupLauncher.cpp; two process starts on both sides). The module is
# padded to 1 MB (bytes after a program's image are never loaded). Goal: at most 1.75x.
#
# Also where the saver's time goes, seen from outside (nothing in the shipped saver measures
# itself): the saver's window shown, the run folder made, the copy complete, the argument file
# written, the module's window shown; each the median over the runs, in ms from the start.
#
#   bench/startup-bench.sh [RUNS]        (needs the windows build: make windows)
# BEFORE_SCR=/path/to/an/older/Saverpak.scr adds that saver to the same run, for a before/after.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
windows="${WINDOWS_BUILD:-$root/build/windows}"
runs="${1:-7}"
work="$root/build/bench-startup"
rm -rf "$work"; mkdir -p "$work"
module="$windows/tests/wine/fullscreen/TestModule.exe"
for file in "$windows/presentation/Saverpak.scr" "$windows/tools/saverpak/saverpak.exe" "$module"; do
    [[ -f "$file" ]] || { echo "missing $file (build the windows preset)" >&2; exit 1; }
done
x86_64-w64-mingw32-g++-posix -O2 -municode -mwindows -static -o "$work/StartupLauncher.exe" \
    "$root/bench/StartupLauncher.cpp"
cp "$module" "$work/Module.exe"
truncate -s $((1024 * 1024)) "$work/Module.exe"
cp "$windows/presentation/Saverpak.scr" "$work/Now.scr"
[[ -z "${BEFORE_SCR:-}" ]] || cp "$BEFORE_SCR" "$work/Before.scr"

cat > "$work/inside.sh" <<'EOT'
#!/bin/bash
# Inside with-wine: packs the savers, then times each way of starting the module in turn.
set -uo pipefail
work="$1" runs="$2" saverpak="$3"
cd "$work"
printf '[[module]]\nfile = "Module.exe"\nname = "Module.exe"\n' > module.toml
for stub in Now Before; do
    [[ -f "$stub.scr" ]] || continue
    wine "$saverpak" build --stub "$stub.scr" --manifest module.toml -o "$stub-1MB.scr" >/dev/null 2>&1
done
temp="$(winepath -u "$(wine cmd /c 'echo %TEMP%' 2>/dev/null | tr -d '\r')" 2>/dev/null)"
# One start: the milliseconds of each step on one line (0 for a step not seen), then ends all.
timed_start() {
    python3 - "$temp" "$@" <<'EOP'
import os, subprocess, sys, time
temp, command = sys.argv[1], sys.argv[2:]
def visible(name, by="--name"):
    return subprocess.run(["xdotool", "search", "--onlyvisible", by, name],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
# Each start finds the temporary folder as a user's would: nothing of an earlier start in it.
for name in os.listdir(temp):
    if name.startswith("Module.") or name.startswith("Saverpak-"):
        subprocess.run(["rm", "-rf", os.path.join(temp, name)])
before = set(os.listdir(temp))
start = time.monotonic()
process = subprocess.Popen(["wine"] + command, stderr=subprocess.DEVNULL)
seen = {}
def mark(step):
    seen.setdefault(step, (time.monotonic() - start) * 1000)
while "module" not in seen and time.monotonic() - start < 20:
    # An older saver extracts into the temporary folder itself.
    for folder in [temp] + [os.path.join(temp, n) for n in set(os.listdir(temp)) - before
                            if n.startswith("Saverpak-")]:
        try:
            if folder != temp: mark("folder")
            files = os.listdir(folder)
            copy = os.path.join(folder, "Module.exe")
            if "Module.exe" in files and os.path.getsize(copy) == 1024 * 1024: mark("copy")
            if "Module.cfg" in files: mark("cfg")
        except OSError:
            pass
    # The saver's own window: X names its class after the program's file.
    if command[0].endswith(".scr") and "window" not in seen and visible(command[0], "--class"):
        mark("window")
    if visible("^TestModule$"): mark("module")
    time.sleep(0.005)  # the poll must leave the processor to what it watches
steps = ["window", "folder", "copy", "cfg", "module"]
print(" ".join(str(round(seen.get(s, 0))) for s in steps))
subprocess.run(["xdotool", "key", "Escape"], stderr=subprocess.DEVNULL)
try:
    process.wait(5)  # the saver closes at the key; the launcher stays
except subprocess.TimeoutExpired:
    process.terminate()
EOP
    # Whatever is left of this start (the launcher's module, a saver's) goes with the server.
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; wineserver -p; wine cmd /c exit >/dev/null 2>&1
}
median() { sort -n | sed -n "$(( ($1 + 1) / 2 ))p"; }
wineserver -p; wine cmd /c exit >/dev/null 2>&1
ways=(launcher Now); [[ -f Before-1MB.scr ]] && ways+=(Before)
declare -A lines
for ((i = 0; i < runs; i++)); do  # interleaved, so that the machine's load falls on all alike
    for way in "${ways[@]}"; do
        if [[ $way == launcher ]]; then line="$(timed_start StartupLauncher.exe Module.exe)"
        else line="$(timed_start "$way-1MB.scr" /s)"; fi
        lines[$way]+="$line"$'\n'
    done
done
column() { printf '%s' "${lines[$1]}" | awk -v c="$2" 'NF { print $c }' | median "$runs"; }
bare=$(column launcher 5)
echo "1 MB module, median of $runs: bare launcher $bare ms until the module's window shows"
for way in "${ways[@]:1}"; do
    total=$(column "$way" 5)
    echo "  saver ($way): $total ms = $(python3 -c "print(f'{$total / $bare:.2f}')")x (goal <= 1.75);" \
         "its window shown at $(column "$way" 1), run folder made $(column "$way" 2)," \
         "copy complete $(column "$way" 3), argument file $(column "$way" 4) ms"
done
EOT
chmod +x "$work/inside.sh"
"$root/scripts/with-wine.sh" -- "$work/inside.sh" "$work" "$runs" "$windows/tools/saverpak/saverpak.exe"
