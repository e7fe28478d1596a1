# Sourced by the scripts that cross-build a library for Windows from Debian's own source package
# (scripts/build-libjpeg-windows.sh, scripts/build-libpng-windows.sh).
#
# fetch_debian_source PACKAGE VERSION WORK
#   Unpacks the Debian source package PACKAGE (version VERSION, Debian's patches applied) into
#   WORK and sets `srcdir` to the unpacked folder. When that exact version is no longer in the
#   archive (a newer point release replaced it), the newest one of the same upstream version is
#   taken; with no such one either, the newest there is. An empty VERSION takes the newest. The
#   source comes through `apt-get source` with a private source list and private apt state under
#   build/deps/apt, so the machine's apt configuration is never changed.
#
# cross_build_library WORK TARGET PREFIX CMAKE-OPTION...
#   Configures $srcdir in WORK/build for Windows (the project's toolchain, Release, installing
#   into PREFIX, no path of WORK in the objects) and builds TARGET.

debian_source_log() { echo "$(basename "$0" .sh): $*" >&2; }

# debian_source_apt APT_DIR apt-get|apt-cache ARGS...
debian_source_apt() {
    local apt_dir="$1" command="$2"; shift 2
    "$command" -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o "Dir::Etc::sourceparts=-" \
        -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" \
        -o "APT::Sandbox::User=root" "$@"
}

# The system's Debian mirror (same URI, same keyring), bookworm main.
debian_source_list() {
    local apt_dir="$1" uri keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    uri="$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i ~ /\/debian\/?$/) { print $i; exit } }' \
           /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)"
    [[ -n "$uri" ]] || uri="http://deb.debian.org/debian"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    echo "deb-src [signed-by=$keyring] $uri bookworm main" > "$apt_dir/sources.list"
}

# The newest version of PACKAGE's source in the private index whose upstream part is UPSTREAM.
debian_source_same_upstream() {
    local apt_dir="$1" package="$2" upstream="$3"
    { debian_source_apt "$apt_dir" apt-cache showsrc "$package" 2>/dev/null || true; } \
        | awk '/^Version:/ { print $2 }' | grep -E "^([0-9]+:)?${upstream//./\\.}-" \
        | sort -V | tail -1 || true
}

fetch_debian_source() {
    local package="$1" wanted="$2" work="$3"
    local apt_dir root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    apt_dir="$root/build/deps/apt"
    mkdir -p "$work"
    debian_source_list "$apt_dir"
    # The libraries are built side by side; apt's private state takes one of them at a time.
    local apt_lock
    exec {apt_lock}>"$apt_dir/saverpak.lock"
    flock "$apt_lock"
    if ! compgen -G "$apt_dir/lists/*Sources*" >/dev/null; then
        debian_source_log "fetching the source index"
        debian_source_apt "$apt_dir" apt-get -qq update >&2
    fi

    cd "$work"
    # A source tree of another Debian version (an older run before an upgrade) is not reused.
    if [[ -n "$wanted" && -f source.wanted && "$(cat source.wanted)" != "$wanted" ]]; then
        rm -rf ./"$package"[-_]* source.wanted
    fi
    srcdir="$(find . -maxdepth 1 -type d -name "$package-*" | head -1)"
    if [[ -z "$srcdir" ]]; then
        rm -f ./"$package"_*
        local spec="$package"
        [[ -n "$wanted" ]] && spec="$package=$wanted"
        debian_source_log "downloading Debian source $spec"
        if ! debian_source_apt "$apt_dir" apt-get -qq source --download-only "$spec" >&2; then
            # The index may be older than the installed version; refresh once and retry.
            debian_source_apt "$apt_dir" apt-get -qq update >&2
            if ! debian_source_apt "$apt_dir" apt-get -qq source --download-only "$spec" >&2; then
                local upstream="${wanted#*:}" other
                other="$(debian_source_same_upstream "$apt_dir" "$package" "${upstream%-*}")"
                [[ -n "$other" ]] && spec="$package=$other" || spec="$package"
                debian_source_log "$package $wanted is no longer in the archive; taking $spec"
                debian_source_apt "$apt_dir" apt-get -qq source --download-only "$spec" >&2
            fi
        fi
        local dsc
        dsc="$(ls -t "$package"_*.dsc | head -1)"
        dpkg-source --no-check -x "$dsc" >&2
        srcdir="$(find . -maxdepth 1 -type d -name "$package-*" | head -1)"
        echo "$wanted" > source.wanted
    fi
    [[ -n "$srcdir" ]] || { debian_source_log "error: no $package source in $work"; exit 1; }
    srcdir="$work/${srcdir#./}"
    exec {apt_lock}>&-
    cd - >/dev/null
}

cross_build_library() {
    local work="$1" target="$2" prefix="$3" root
    shift 3
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    rm -rf "$work/build"
    cmake -S "$srcdir" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR= \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="-ffile-prefix-map=$work=." \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >&2
    cmake --build "$work/build" -j2 --target "$target" >&2
}
