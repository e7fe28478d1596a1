#!/bin/bash
# A saver signed as its maker would sign it, run as the system runs it: the signature checks
# out, saverpak reads it (and a twice-signed copy), and the saver runs its module full-screen
# and closes on a key. Runs inside scripts/with-wine.sh.
#
#   SignedSaverTest.sh SAVER-STUB SAVERPAK-EXE TEST-MODULE PROBE WORK-FOLDER
set -uo pipefail
stub="$1" saverpak="$2" module="$3" probe="$4" work="$5"
source "$(dirname "${BASH_SOURCE[0]}")/../scenario_start.sh" "$work" "$probe"
cp "$module" "$work/TestModule.exe"
saverpak() { wine "$saverpak" "$@" 2>"$work/saverpak.log" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

printf '[[module]]\nfile = "TestModule.exe"\nname = "TestModule.exe"\n' > "$work/saver.toml"
saverpak build --stub "$(win_path "$stub")" --manifest "$(win_path "$work/saver.toml")" \
    -o "$(win_path "$work/Plain.scr")" >/dev/null || { cat "$work/saverpak.log"; exit 1; }

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
wait_for 5 bash -c '! pgrep -f "[\\]TestModule\.exe" >/dev/null'
rm -f "$temp/TestModule.exe" "$temp/TestModule.cfg"

((failures == 0)) && echo "signed saver: all passed"
exit $((failures != 0))
