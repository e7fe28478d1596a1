#!/bin/bash
# Checks the release binaries: no debug section (the debug information is in PROGRAM.debug,
# linked by .gnu_debuglink), no path of the source or build folder, and SOURCE_DATE_EPOCH as
# the PE time stamp. A saver (.scr) imports at load time only KnownDLLs: a library that is none
# is searched for beside the saver first, where a browser's downloads may have put one. And only
# those a full-screen start needs: SHELL32 (links, hot keys), WINMM (the preview's sound) and the
# password libraries are loaded from the system folder when first needed, so that a start does
# not pay for them and for what they load in turn.
# Usage: ReleaseBinaries.sh OBJDUMP EPOCH SOURCE_DIR BINARY_DIR PROGRAM...
set -uo pipefail
objdump=$1 epoch=$2 source_dir=$3 binary_dir=$4
shift 4
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# A little-endian 32-bit number at a byte offset of a file.
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }

for program in "$@"; do
    name=$(basename "$program")
    sections=$("$objdump" -h "$program" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
    debug=$(grep -E '^\.z?debug' <<< "$sections" | tr '\n' ' ')
    [[ -z "$debug" ]] || fail "$name carries debug sections: $debug"
    grep -qx '.gnu_debuglink' <<< "$sections" || fail "$name has no .gnu_debuglink"
    [[ -s "$program.debug" ]] || fail "$name.debug is missing"
    for dir in "$source_dir" "$binary_dir"; do
        ! grep -qaF "$dir" "$program" || fail "$name contains the path $dir"
    done
    stamp=$(u32 "$program" $(( $(u32 "$program" 60) + 8 )))
    [[ "$stamp" == "$epoch" ]] || fail "$name's time stamp is $stamp, not $epoch"
    if [[ "$name" == *.scr ]]; then
        imports=$("$objdump" -p "$program" | awk '/DLL Name:/ { print toupper($3) }')
        [[ -n "$imports" ]] || fail "$name: no import table read"
        expected="ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL"
        listed=$(LC_ALL=C sort -u <<< "$imports" | paste -sd ' ')
        [[ -z "$imports" || "$listed" == "$expected" ]] \
            || fail "$name imports $listed at load time, not $expected"
        for dll in $imports; do
            case "$dll" in
                ADVAPI32.DLL|COMDLG32.DLL|GDI32.DLL|IMM32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|\
                OLEAUT32.DLL|SHELL32.DLL|SHLWAPI.DLL|USER32.DLL) ;;
                *) fail "$name imports $dll at load time, which is no KnownDLL" ;;
            esac
        done
    fi
done
exit $failed
