#!/bin/bash
# Builds the template module (sdk/example) in a copy of sdk/ with the one compiler command that
# docs/MODULES.md gives, run as it stands; the compiler must not warn.
#   TemplateBuild.sh SOURCE-DIR WORK   (WORK/sdk/example/MyModule.exe is the result)
set -uo pipefail
source_dir="$1" work="$2"
rm -rf "$work" && mkdir -p "$work" && cp -r "$source_dir/sdk" "$work/" || exit 1
command="$(grep -E '^x86_64-w64-mingw32-gcc ' "$source_dir/docs/MODULES.md")"
[[ $(grep -c . <<< "$command") == 1 ]] || { echo "FAIL: the guide gives no one build command"; exit 1; }
cd "$work/sdk/example" && bash -c "$command" 2>"$work/warnings.txt" ||
    { cat "$work/warnings.txt"; echo "FAIL: the guide's command does not build the template"; exit 1; }
[[ ! -s "$work/warnings.txt" ]] || { cat "$work/warnings.txt"; echo "FAIL: the compiler warns"; exit 1; }
[[ "$(head -c 2 MyModule.exe)" == MZ ]] || { echo "FAIL: no MyModule.exe"; exit 1; }
echo "ok   $command"
