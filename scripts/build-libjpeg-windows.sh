#!/bin/bash
# Cross-build libjpeg-turbo (6b API, static, with SIMD) for 64-bit Windows from Debian's own
# source package, and install it into build/deps/windows where the windows preset looks for it.
#
# The source comes as scripts/windows-deps.sh fetches it, so the machine's apt configuration is
# never changed. The result is cached: a second run with the same source version does nothing
# (stamp file build/deps/windows/libjpeg.stamp).
#
# Usage: scripts/build-libjpeg-windows.sh [--force]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="$root/build/deps/windows"
work="$root/build/deps/libjpeg-src"
stamp="$prefix/libjpeg.stamp"
force=0
[[ "${1:-}" == "--force" ]] && force=1

log() { echo "build-libjpeg-windows: $*" >&2; }
die() { log "error: $*"; exit 1; }

for tool in x86_64-w64-mingw32-gcc-posix nasm cmake ninja apt-get dpkg-source; do
    command -v "$tool" >/dev/null || die "'$tool' is missing; run scripts/install-deps.sh first"
done

# The version we build is the one Debian's own libjpeg build uses on this machine, so the native
# and the Windows build decode with the same library release.
wanted="$(dpkg-query -W -f='${source:Version}' libjpeg62-turbo-dev 2>/dev/null || true)"

if [[ $force == 0 && -f "$prefix/lib/libjpeg.a" && -f "$stamp" ]] \
   && [[ -z "$wanted" || "$(cat "$stamp")" == "libjpeg-turbo $wanted" ]]; then
    log "$(cat "$stamp") already built in $prefix"
    exit 0
fi

source "$root/scripts/windows-deps.sh"
fetch_debian_source libjpeg-turbo "$wanted" "$work"
version="$(cd "$srcdir" && dpkg-parsechangelog -S Version 2>/dev/null || echo unknown)"

log "building libjpeg-turbo $version for Windows"
cross_build_library "$work" jpeg-static "$prefix" \
    -DCMAKE_ASM_NASM_COMPILER=nasm \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF \
    -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF

# Install only what the project uses: the 6b headers and the static library.
mkdir -p "$prefix/include" "$prefix/lib"
for h in jpeglib.h jmorecfg.h jerror.h; do
    install -m 644 "$srcdir/$h" "$prefix/include/$h"
done
install -m 644 "$work/build/jconfig.h" "$prefix/include/jconfig.h"
install -m 644 "$work/build/libjpeg.a" "$prefix/lib/libjpeg.a"
grep -q 'JPEG_LIB_VERSION *62' "$prefix/include/jconfig.h" \
    || die "built library does not have the 6b API (JPEG_LIB_VERSION 62)"
echo "libjpeg-turbo ${wanted:-$version}" > "$stamp"
log "installed into $prefix"
