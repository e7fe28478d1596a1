#!/bin/bash
# The slideshow's preparation of one 24 MP phone photograph (6000x4000, stored on its side with
# Exif orientation 6) for a 3840x2160 and a 1920x1080 screen: decode, turn upright, fill, scale.
# Ours (bench/slide_bench, built from the slideshow's own preparation code) against ImageMagick
# doing the same, whole process on both sides, best of 5 (goal: ours at least 5 times faster).
# Peak memory of each, too. Needs the native build (make native) and exiftool.
# Run by hand: bench/slideshow-bench.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
native="${NATIVE_BUILD:-$root/build/native}"
bench="$native/bench/slide_bench"
work="$root/build/bench-slideshow"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
source "$root/bench/timing.sh"

peak_mb() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
    echo $(($(cat "$work/rss") / 1024))
}

# A photograph-like picture: a plasma with fine noise, as a camera stores a portrait: 6000x4000
# rows on their side, orientation 6 (turn a quarter clockwise to stand upright).
convert -size 1500x1000 -seed 5 plasma: -resize 6000x4000! -attenuate 0.3 +noise Gaussian \
    -quality 92 "$work/photo.jpg"
exiftool -q -overwrite_original -Orientation=6 -n "$work/photo.jpg"
echo "== a $(identify -format '%wx%h' "$work/photo.jpg") JPEG, Exif orientation" \
     "$(exiftool -s3 -n -Orientation "$work/photo.jpg"), $(($(stat -c %s "$work/photo.jpg") / 1024)) KiB"

for size in 3840x2160 1920x1080; do
    ours=("$bench" "$work/photo.jpg" "$size" "$work/ours.bmp")
    magick=(convert "$work/photo.jpg" -auto-orient -resize "$size^" -gravity center
            -extent "$size" "$work/magick.bmp")
    ours_ms=$(best_ms 5 "${ours[@]}")
    magick_ms=$(best_ms 5 "${magick[@]}")
    psnr=$(compare -metric PSNR "$work/ours.bmp" "$work/magick.bmp" null: 2>&1 || true)
    echo "$size fill: ours $ours_ms ms, ImageMagick $magick_ms ms," \
         "ImageMagick/ours $(ratio "$magick_ms" "$ours_ms") (goal >= 5);" \
         "peak memory ours $(peak_mb "${ours[@]}") MB, ImageMagick $(peak_mb "${magick[@]}") MB;" \
         "PSNR $psnr dB"
done
