#!/bin/bash
# Checks that the C and C++ sources are laid out as .clang-format says (Debian 12's
# clang-format 14). Prints the files that are not, and exits 1.
#   scripts/check-format.sh          check (make test runs this as the code_format test)
#   scripts/check-format.sh --fix    lay them out
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if ! command -v clang-format >/dev/null; then
    echo "check-format: error: clang-format is not installed (scripts/install-deps.sh)" >&2
    exit 1
fi
if [[ -e .git ]]; then
    mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cpp' \
        -o -name '*.h' \) -print | sed 's#^\./##' | sort)
fi

if [[ "${1:-}" == "--fix" ]]; then
    clang-format -i -- "${files[@]}"
    exit 0
fi

# One run over all files; each place it would change is reported as "file:line:col: error".
status=0
report="$(clang-format --dry-run -Werror -- "${files[@]}" 2>&1)" || status=$?
mapfile -t unformatted < <(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' <<<"$report" | sort -u)
if [[ $status != 0 && ${#unformatted[@]} == 0 ]]; then
    echo "$report" >&2
    echo "check-format: error: clang-format failed (status $status)" >&2
    exit 1
fi
if [[ ${#unformatted[@]} != 0 ]]; then
    echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not laid out as .clang-format says:"
    printf '  %s\n' "${unformatted[@]}"
    echo "check-format: run scripts/check-format.sh --fix"
    exit 1
fi
echo "check-format: all ${#files[@]} files are laid out as .clang-format says"
