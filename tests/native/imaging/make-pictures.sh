#!/bin/sh
# Makes the pictures the imaging tests decode, with encoders that are not ours (ImageMagick,
# cjpeg), and the reference decodes they are compared with (ImageMagick, djpeg), as raw
# top-down RGB. Usage: make-pictures.sh OUTDIR
#
# Build folders may share OUTDIR (the presets do): the first to come makes the pictures, the
# others wait for it and keep what it made, as long as this script is unchanged.
set -eu
out=$1
mkdir -p "$out"
exec 9>"$out.lock"
flock 9
recipe=$(cksum < "$0")
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$recipe" ]; then
    touch "$out/stamp"
    exit 0
fi
rm -f "$out/stamp"
cd "$out"

raw() { convert "$1" -depth 8 "rgb:$2"; }

# A plasma is smooth in places and busy in others: long RLE runs and short ones, many colours.
convert -size 67x45 -seed 7 plasma: src.ppm
convert -size 64x48 -seed 3 plasma: even.ppm
convert -size 1x3 -seed 5 plasma: thin.ppm

# BMPs at every bit count, odd and even widths.
for s in src even thin; do
    convert $s.ppm -type TrueColor BMP3:${s}24.bmp
    convert $s.ppm -colors 256 -type Palette -compress None BMP3:${s}8.bmp
    convert $s.ppm -colors 5 -type Palette -compress None BMP3:${s}8c5.bmp
    convert $s.ppm -colors 16 -compress None BMP3:${s}4.bmp
    convert $s.ppm -monochrome BMP3:${s}1.bmp
    convert $s.ppm -colors 200 -compress RLE BMP3:${s}rle8.bmp
    convert $s.ppm -colors 5 -compress RLE BMP3:${s}rle8c5.bmp
done
# The same pictures as current writers store them: a 124-byte (v5) info header, 108 at 1 bit.
convert src.ppm -type TrueColor BMP:src24v5.bmp
convert src.ppm -colors 256 -type Palette -compress None BMP:src8v5.bmp
convert src.ppm -colors 16 -compress None BMP:src4v5.bmp
convert src.ppm -monochrome BMP:src1v5.bmp
convert src.ppm -colors 200 -compress RLE BMP:srcrle8v5.bmp
for f in *.bmp; do raw "$f" "${f%.bmp}.rgb"; done
# ImageMagick's own reader gets its RLE wrong where a run covers a row's padding (a 1-pixel
# row is written as a run of 4); three colours survive quantising exactly, so the 24-bit file is the
# reference for those.
raw thin24.bmp thinrle8.rgb
raw thin24.bmp thinrle8c5.rgb

# JPEGs: colour 4:2:0 (the default), 4:4:4, grey, progressive, restart markers.
cjpeg -quality 85 src.ppm > c420.jpg
cjpeg -quality 90 -sample 1x1 src.ppm > c444.jpg
cjpeg -quality 85 -sample 2x1 even.ppm > c422.jpg
cjpeg -grayscale src.ppm > grey.jpg
cjpeg -progressive src.ppm > prog.jpg
cjpeg -restart 1 src.ppm > restart.jpg
cjpeg -sample 1x1 thin.ppm > thin.jpg
for f in *.jpg; do
    djpeg -pnm "$f" > "${f%.jpg}.pnm"
    convert "${f%.jpg}.pnm" -depth 8 "rgb:${f%.jpg}.djpeg.rgb"
    raw "$f" "${f%.jpg}.magick.rgb"
done

# The first half of a JPEG: djpeg completes it by the library's rules (with a warning).
head -c $(($(wc -c < c420.jpg) / 2)) c420.jpg > half.jpg.part
djpeg -pnm half.jpg.part > half.pnm 2>/dev/null || [ $? -eq 2 ]  # 2: finished with warnings
convert half.pnm -depth 8 rgb:half.djpeg.rgb

# Four-component JPEGs: ImageMagick writes Adobe-style (inverted) CMYK.
convert src.ppm -colorspace CMYK -quality 95 cmyk.jpeg
convert cmyk.jpeg -colorspace sRGB -depth 8 rgb:cmyk.magick.rgb

# Sizes of the raw files tell the tests the dimensions.
for f in *.ppm *.bmp *.jpg *.jpeg; do identify -format "%f %w %h\n" "$f"; done > sizes.txt
echo "$recipe" > stamp
