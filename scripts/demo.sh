#!/bin/bash
# Packs the demo saver build/demo/Snowfall.scr and runs it full-screen under Wine on a virtual
# display, saving screenshots beside it. `make demo` builds everything first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/demo"
native="${NATIVE_BUILD:-$root/build/native}"
windows="${WINDOWS_BUILD:-$root/build/windows}"
saverpak="$native/tools/saverpak/saverpak"
stub="$windows/presentation/Saverpak.scr"
module="$windows/demo/Snowfall.exe"
slideshow="$windows/presentation/Slideshow.exe"  # beside the stub, where build finds it
for needed in "$saverpak" "$stub" "$module" "$slideshow"; do
    [[ -f "$needed" ]] || { echo "demo: $needed is missing; run 'make demo'" >&2; exit 1; }
done

rm -rf "$out"
mkdir -p "$out"
cp "$root/demo/Snowfall.toml" "$module" "$out/"
"$root/demo/make-content.sh" "$out/content"
"$saverpak" build --stub "$stub" --manifest "$out/Snowfall.toml" -o "$out/Snowfall.scr"
"$saverpak" verify "$out/Snowfall.scr"
# The picture saver: the same pictures' folder, shown by our slideshow.
cp "$root/demo/Pictures.toml" "$out/"
"$saverpak" build --stub "$stub" --manifest "$out/Pictures.toml" -o "$out/Pictures.scr"
"$saverpak" verify "$out/Pictures.scr"
# The preview screenshot comes from the test probe that draws the saver's preview in-process
# (Wine shows nothing a child window of another process draws); it carries the same content.
probe="$windows/tests/wine/preview/PreviewProbe.exe"
if [[ -f "$probe" ]]; then
    "$saverpak" build --stub "$probe" --manifest "$out/Snowfall.toml" -o "$out/PreviewProbe.exe"
fi

"$root/scripts/with-wine.sh" -- "$root/demo/run-demo.sh" "$out"

cat <<EOT

The demo savers are $out/Snowfall.scr and $out/Pictures.scr (a saver of pictures)
Screenshots: $(cd "$out" && ls *.png | tr '\n' ' ')
To use it on Windows: copy Snowfall.scr to the Windows machine, right-click it and choose Install
(or copy it into C:\\Windows\\System32 and pick "Snowfall" in the screen saver settings).
Pictures.scr needs nothing beside it either: the slideshow program travels inside it.
EOT
