#!/bin/bash
# Runs the Linux commands of the author's guide (docs/GUIDE.md) that call the tool, as written,
# in a folder laid out as the unpacked Linux archive: ./saverpak, Saverpak.scr (the tests' stub)
# and the example (the demo's manifest and pictures; any Windows program as its module). Each
# must succeed. Signing and the slideshow need what the folder lacks (a certificate, photos).
#   GuideCommands.sh SOURCE-DIR TOOL STUB WORK
set -uo pipefail
source_dir="$1" tool="$2" stub="$3" work="$4"
rm -rf "$work" && mkdir -p "$work/example" || exit 1
cp "$tool" "$work/saverpak" && cp "$stub" "$work/Saverpak.scr" &&
    cp "$source_dir/demo/Snowfall.toml" "$work/example/" &&
    cp "$stub" "$work/example/Snowfall.exe" &&
    "$source_dir/demo/make-content.sh" "$work/example/content" >/dev/null || exit 1
cd "$work" || exit 1

commands="$(awk '/^```sh$/ { code = 1; next } /^```/ { code = 0 } code && /^\.\/saverpak /' \
    "$source_dir/docs/GUIDE.md" | grep -v -e 'MySaver-signed' -e 'photos\.toml')"
[[ -n "$commands" ]] || { echo "FAIL: the guide gives no ./saverpak command"; exit 1; }
failed=0 count=0
while IFS= read -r command; do
    count=$((count + 1))
    bash -c "$command" >"$work/out.txt" 2>&1 ||
        { echo "FAIL: $command"; cat "$work/out.txt"; failed=1; }
done <<< "$commands"
echo "guide: $count commands, $failed failed"
exit $failed
