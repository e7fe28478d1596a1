#!/bin/bash
# Cross-build libpng (static) for 64-bit Windows from Debian's own source package, against
# Debian's zlib for Windows (libz-mingw-w64-dev), and install it into build/deps/windows where
# the windows preset looks for it. The version is the one of the installed libpng-dev, so that
# the Linux and the Windows tool write the same PNG files.
#
# The source comes as scripts/windows-deps.sh fetches it, so the machine's apt configuration is
# never changed. The result is cached: a second run with the same source version does nothing
# (stamp file build/deps/windows/libpng.stamp).
#
# Usage: scripts/build-libpng-windows.sh [--force]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="$root/build/deps/windows"
work="$root/build/deps/libpng-src"
stamp="$prefix/libpng.stamp"
zlib=/usr/x86_64-w64-mingw32
force=0
[[ "${1:-}" == "--force" ]] && force=1

log() { echo "build-libpng-windows: $*" >&2; }
die() { log "error: $*"; exit 1; }

for tool in x86_64-w64-mingw32-gcc-posix cmake ninja apt-get dpkg-source; do
    command -v "$tool" >/dev/null || die "'$tool' is missing; run scripts/install-deps.sh first"
done
[[ -f "$zlib/lib/libz.a" ]] || die "no zlib for Windows; run scripts/install-deps.sh first"

wanted="$(dpkg-query -W -f='${source:Version}' libpng-dev 2>/dev/null || true)"

if [[ $force == 0 && -f "$prefix/lib/libpng.a" && -f "$stamp" ]] \
   && [[ -z "$wanted" || "$(head -1 "$stamp")" == "libpng $wanted" ]]; then
    log "$(tail -1 "$stamp") already built in $prefix"
    exit 0
fi

source "$root/scripts/windows-deps.sh"
fetch_debian_source libpng1.6 "$wanted" "$work"
version="$(cd "$srcdir" && dpkg-parsechangelog -S Version 2>/dev/null || echo unknown)"

log "building libpng $version for Windows"
cross_build_library "$work" png_static "$prefix" \
    -DZLIB_INCLUDE_DIR="$zlib/include" -DZLIB_LIBRARY="$zlib/lib/libz.a" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF

# Install only what the project uses: the headers and the static library.
mkdir -p "$prefix/include" "$prefix/lib"
for h in png.h pngconf.h; do
    install -m 644 "$srcdir/$h" "$prefix/include/$h"
done
install -m 644 "$work/build/pnglibconf.h" "$prefix/include/pnglibconf.h"
install -m 644 "$(find "$work/build" -maxdepth 1 -name 'libpng*.a' | head -1)" "$prefix/lib/libpng.a"
# The first line is what a later run compares with; the second says what was built.
printf 'libpng %s\nlibpng %s (Debian source)\n' "${wanted:-$version}" "$version" > "$stamp"
log "installed libpng $version into $prefix"
