#!/bin/bash
# Puts the tests' password double into the Wine prefix's system folder as PASSWORD.CPL, the only
# place the saver loads it from, or takes it (and the marks it leaves when loaded) away again.
#
#   password_double.sh install <PASSWORD.CPL>  |  password_double.sh remove
set -eu
system="${WINEPREFIX:-$HOME/.wine}/drive_c/windows/system32"
[[ -d "$system" ]] || { echo "no system folder at $system" >&2; exit 1; }
case "${1:-}" in
    # A fresh file: the prefix's own binaries may be hard links shared with its template.
    install) cp --remove-destination "$2" "$system/PASSWORD.CPL" ;;
    remove) rm -f "$system/PASSWORD.CPL" "$system/PASSWORD.CPL.loaded" ;;
    *) echo "usage: $0 install <dll> | remove" >&2; exit 2 ;;
esac
