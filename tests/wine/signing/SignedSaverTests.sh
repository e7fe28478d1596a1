#!/bin/bash
# A saver branded and signed as its maker would do it, run as the system runs it: Windows reads
# its name, version and icon (and a saver built without [saver] is called by its file), the
# signature checks out, saverpak reads it (and a twice-signed copy), the saver opens its
# configuration dialog under its file's name, runs its module full-screen and closes on a key.
# Runs inside scripts/with-wine.sh.
#
#   SignedSaverTests.sh SAVER-STUB SAVERPAK-EXE TEST-MODULE PROBE WORK-FOLDER VERSION-PROBE
set -uo pipefail
stub="$1" saverpak="$2" module="$3" probe="$4" work="$5" version_probe="$6"
source "$(dirname "${BASH_SOURCE[0]}")/../scenario_start.sh" "$work" "$probe"
cp "$module" "$work/TestModule.exe"
saverpak() { wine "$saverpak" "$@" 2>"$work/saverpak.log" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# The icon: a red 32-pixel bitmap, a blue 16-pixel one and a green 256-pixel PNG.
convert -size 32x32 xc:'#ff0000' -size 16x16 xc:'#0000ff' -size 256x256 xc:'#00ff00' \
    -define png:exclude-chunks=date,time "$work/icon.ico" || exit 1
modules='[[module]]
file = "TestModule.exe"
name = "TestModule.exe"'
printf '%s\n' "$modules" > "$work/bare.toml"
printf '[saver]\nname = "Снежный вечер"\ndescription = "Snow over 雪 town"\nproduct = "Acme Seasons"
company = "Acme Ltd"\nversion = "1.2.3.4"\ncopyright = "© 2026 Acme"\nicon = "icon.ico"\n%s\n' \
    "$modules" > "$work/saver.toml"
for name in Plain:saver Bare:bare; do
    saverpak build --stub "$(win_path "$stub")" --manifest "$(win_path "$work/${name#*:}.toml")" \
        -o "$(win_path "$work/${name%:*}.scr")" >/dev/null || { cat "$work/saverpak.log"; exit 1; }
done
# read_version SCR: what the shell reads of SCR, as KEY=VALUE lines in $work/SCR.version.
read_version() { wine "$version_probe" "$(win_path "$work/$1")" 2>/dev/null | tr -d '\r' > "$work/$1.version"; }
expect_version() {  # expect_version SCR KEY=VALUE...
    local scr="$1" line; shift
    for line in "$@"; do
        grep -qxF "$line" "$work/$scr.version" || fail "$scr: want $line, the shell reads: $(tr '\n' ' ' < "$work/$scr.version")"
    done
}
read_version Plain.scr
expect_version Plain.scr 'name=Снежный вечер' 'FileDescription=Snow over 雪 town' 'ProductName=Acme Seasons' \
    'CompanyName=Acme Ltd' 'FileVersion=1.2.3.4' 'ProductVersion=1.2.3.4' 'LegalCopyright=© 2026 Acme' \
    'OriginalFilename=Plain.scr' 'InternalName=Plain' 'fixed=1.2.3.4' 'fixedProduct=1.2.3.4' 'icons=1' \
    'large=32x32 FF0000'
# Wine 8 draws the small icon from the 32-pixel image, scaled: only its size is checked.
check "Plain.scr has a small icon" grep -q '^small=16x16 ' "$work/Plain.scr.version"
read_version Bare.scr
version="$(saverpak --version | sed -n 's/^saverpak //p')"
expect_version Bare.scr 'name=Bare' 'FileDescription=Bare Screen Saver' 'ProductName=Bare' 'CompanyName=Saverpak' \
    "FileVersion=$version" "fixed=$version.0" 'OriginalFilename=Bare.scr' 'InternalName=Bare' 'icons=1'
check "Bare.scr keeps the saver's icon" grep -q '^large=32x32 ' "$work/Bare.scr.version"

# The configuration dialog of the branded saver is still called by the file's name.
wine "$work/Plain.scr" /c &
config=$!
check "the branded saver opens its dialog as \"Plain Screen Saver\"" \
    wait_for 20 xdotool search --onlyvisible --name '^Plain Screen Saver$'
kill "$config" 2>/dev/null; wait "$config" 2>/dev/null

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Saverpak-Test \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" \
    >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; exit 1; }
sign() {  # sign IN OUT [-nest]
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n Saverpak ${3:-} \
        -in "$1" -out "$2" >"$work/sign.log" 2>&1 || { cat "$work/sign.log"; return 1; }
}
sign "$work/Plain.scr" "$work/Signed.scr" || exit 1
sign "$work/Signed.scr" "$work/Nested.scr" -nest || exit 1
for scr in Signed Nested; do
    check "osslsigncode accepts $scr.scr" osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$scr.scr" >/dev/null 2>&1
    check "saverpak verify reads $scr.scr" saverpak verify "$(win_path "$work/$scr.scr")"
    read_version "$scr.scr"
    expect_version "$scr.scr" 'FileDescription=Snow over 雪 town' 'large=32x32 FF0000'
done
check "list shows the certificate table" bash -c "wine '$saverpak' list '$(win_path "$work/Signed.scr")' 2>/dev/null | grep -q 'certificate table'"

wine_temp
TESTMODULE_LOG="$(win_path "$work/module.log")" wine "$work/Signed.scr" /s &
saver=$!
saver_gone() { ! kill -0 "$saver" 2>/dev/null; }
# Input counts once the saver has the focus back from the module's new window.
run_ready() {
    local module focus
    module="$(xdotool search --onlyvisible --name '^TestModule$' 2>/dev/null | head -1)"
    focus="$(xdotool getwindowfocus 2>/dev/null)"
    [[ -n "$module" && -n "$focus" && "$focus" != "$module" &&
       "$(probe focus)" == TkwScreensaverForm ]]
}
if wait_for 20 run_ready; then
    xdotool key a
    if wait_for 6 saver_gone; then
        wait "$saver"
    else
        fail "the signed saver did not close on a key"
        kill "$saver" 2>/dev/null
    fi
    check "the module ran" grep -q '^start$' "$work/module.log"
    check "the module was asked to close" grep -q '^close$' "$work/module.log"
else
    fail "the signed saver's module did not appear"
    kill "$saver" 2>/dev/null
fi
check "the module ended with the saver" wait_for 5 bash -c '! pgrep -f "[\\]TestModule\.exe" >/dev/null'
# The module ran from a folder of the saver's own in the temporary folder; that folder goes too.
check "the saver left no run folder" wait_for 3 bash -c "! compgen -G '$temp/Saverpak-*' >/dev/null"

((failures == 0)) && echo "signed saver: all passed"
exit $((failures != 0))
