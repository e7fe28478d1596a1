#!/bin/sh
# Times the imaging code against the programs a user would otherwise reach for, on a
# 12-megapixel photograph-like JPEG (cjpeg, normal 4:2:0) made here:
#   - LoadJpeg against `djpeg -bmp` (goal: at most 1.1 times djpeg's time);
#   - LoadJpeg fitted to 1920 x 1080 and 152 x 112, upright and as a phone stores a portrait
#     (Exif orientation 6: fitted into the turned box, then turned small);
#   - the preview preparation (load, fit, palette, dither) to 1920 x 1080 and 152 x 112 at 8,
#     16 and 24 bits against ImageMagick doing the same work (goal at 8 bits: 5 and 4 times
#     faster);
#   - the peak of pixel blocks per picture block (goal: at most 2);
#   - `saverpak preview` to 1920 x 1080 at 8 bits as a whole process, PNG written, against
#     ImageMagick's `convert IN.jpg -sample 1920x1080 -dither FloydSteinberg -colors 256
#     PNG8:OUT.png`, median of 5 runs each (goal: 5 times faster, aim: 10).
# Usage: bench/run.sh [BUILD_DIR]   (default build/native; builds imaging_bench there)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
cmake --build "$build" --target imaging_bench saverpak -j2 >/dev/null
saverpak=$build/tools/saverpak/saverpak
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Making a 4000 x 3000 picture..."
convert -size 1000x750 -seed 11 plasma: -blur 0x1 -resize 4000x3000! -attenuate 0.4 \
    +noise Gaussian big.ppm
cjpeg -quality 90 big.ppm > big.jpg
rm big.ppm
# The same picture as a phone stores a portrait: Exif orientation 6 (turn a quarter clockwise).
python3 - <<'PY'
import struct
tiff = b"II*\0" + struct.pack("<IHHHII", 8, 1, 0x0112, 3, 1, 6) + struct.pack("<I", 0)
app1 = b"Exif\0\0" + tiff
jpeg = open("big.jpg", "rb").read()
open("big6.jpg", "wb").write(jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[2:])
PY

# Wall times of N runs of a command, in milliseconds, fastest first.
run_times() {
    n=$1
    shift
    i=0
    while [ $i -lt "$n" ]; do
        s=$(date +%s%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s%N)
        echo $(( (e - s) / 1000000 ))
        i=$((i + 1))
    done | sort -n
}
best() { run_times "$@" | head -1; }
median() { run_times "$@" | sed -n "$(( ($1 + 1) / 2 ))p"; }

echo "Timing whole processes, PNG written..."
preview_ms=$(median 5 "$saverpak" preview big.jpg --size 1920x1080 --depth 8 -o ours.png)
magick_ms=$(median 5 convert big.jpg -sample 1920x1080 -dither FloydSteinberg -colors 256 \
    PNG8:magick.png)
echo "saverpak preview 1920x1080 at 8 bits: $preview_ms ms   ImageMagick: $magick_ms ms   " \
    "ImageMagick/ours $(python3 -c "print(f'{$magick_ms / max($preview_ms, 1):.2f}')")" \
    "(goal >= 5, aim 10)"

echo "Timing djpeg and ImageMagick..."
djpeg_ms=$(best 5 sh -c 'djpeg -bmp big.jpg > out.bmp')
im_1920_8=$(best 3 convert big.jpg -sample 1920x1080 -colors 256 -dither FloydSteinberg out8.bmp)
im_1920_16=$(best 3 convert big.jpg -sample 1920x1080 out16.bmp)
im_1920_24=$(best 3 convert big.jpg -sample 1920x1080 out24.bmp)
im_152_8=$(best 3 convert big.jpg -sample 152x112 -colors 256 -dither FloydSteinberg s8.bmp)
im_152_16=$(best 3 convert big.jpg -sample 152x112 s16.bmp)
im_152_24=$(best 3 convert big.jpg -sample 152x112 s24.bmp)

echo "Timing ours..."
SAVERPAK_BENCH_JPEG=$work/big.jpg SAVERPAK_BENCH_JPEG_TURNED=$work/big6.jpg \
    "$build/bench/imaging_bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_out=ours.json \
    --benchmark_out_format=json >/dev/null

python3 - "$djpeg_ms" "$im_1920_8" "$im_1920_16" "$im_1920_24" "$im_152_8" "$im_152_16" \
    "$im_152_24" <<'PY'
import json, sys
djpeg, i1920_8, i1920_16, i1920_24, i152_8, i152_16, i152_24 = map(float, sys.argv[1:])
runs = json.load(open("ours.json"))["benchmarks"]
def ours(name):
    for r in runs:
        if r["run_name"] in (name, name + "/real_time") and r.get("aggregate_name") == "median":
            return r
    raise SystemExit("no result for " + name)
def ms(r):
    return r["real_time"]
load = ours("LoadJpeg")
print(f"LoadJpeg 12 MP: {ms(load):7.1f} ms   djpeg -bmp: {djpeg:7.1f} ms   "
      f"ratio ours/djpeg {ms(load)/djpeg:5.2f} (goal <= 1.1)")
for (w, h) in [(1920, 1080), (152, 112)]:
    up, turned = ours(f"LoadJpegFitted/upright/{w}/{h}"), ours(f"LoadJpegFitted/turned/{w}/{h}")
    print(f"LoadJpeg fitted to {w}x{h}: {ms(up):7.1f} ms   turned by Exif 6: {ms(turned):7.1f} ms")
for (w, h, d, im, goal) in [(1920, 1080, 8, i1920_8, 5), (1920, 1080, 16, i1920_16, None),
                            (1920, 1080, 24, i1920_24, None), (152, 112, 8, i152_8, 4),
                            (152, 112, 16, i152_16, None), (152, 112, 24, i152_24, None)]:
    r = ours(f"Prepare/{w}/{h}/{d}")
    g = f" (goal >= {goal})" if goal else ""
    print(f"Prepare {w}x{h} at {d:2d} bits: {ms(r):7.1f} ms   ImageMagick: {im:7.1f} ms   "
          f"ImageMagick/ours {im/ms(r):5.2f}{g}   peak blocks/picture "
          f"{r.get('peak_blocks_per_picture', 0):.2f}   max RSS {r.get('max_rss_MiB', 0):.0f} MiB")
PY
