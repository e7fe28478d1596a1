#!/bin/bash
# Installs the Debian 12 packages that building and testing Saverpak needs. Safe to run again:
# when everything is installed it only asks dpkg and needs no network.
#   scripts/install-deps.sh          (as root)
set -euo pipefail

packages=(
    # Build
    cmake ninja-build make g++ pkgconf dpkg-dev ccache
    # Windows cross build (the toolchain file calls the -posix compilers by name), and nasm for
    # libjpeg-turbo's SIMD code
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    nasm
    # zlib for the Windows libpng (scripts/build-libpng-windows.sh builds libpng itself)
    libz-mingw-w64-dev
    # Libraries and headers
    libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev
    libgtest-dev googletest libbenchmark-dev
    libcli11-dev libtomlplusplus-dev nlohmann-json3-dev
    # libFuzzer
    clang libclang-rt-14-dev
    # scripts/check-format.sh (the code_format test)
    clang-format
    # Running and watching Windows programs
    wine wine64 xvfb xdotool imagemagick x11-xserver-utils x11-utils
    # Phone photographs' Exif orientation in the slideshow's tests and bench
    libimage-exiftool-perl
    # scripts/build-libjpeg-windows.sh fetches Debian's source package
    ca-certificates xz-utils
    # make dist (help2man writes the tool's man page from its --help); the manifest schema's test;
    # the image checksum's test (pefile computes it independently)
    python3 help2man python3-jsonschema python3-pefile
    # Signing tests (a throw-away certificate, Authenticode signatures) and profiling
    openssl osslsigncode linux-perf
)

missing=()
for package in "${packages[@]}"; do
    status="$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)"
    [[ "$status" == "installed" ]] || missing+=("$package")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all ${#packages[@]} packages are installed"
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: error: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
