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

# The same data as plain CMYK (Adobe transform 0): ImageMagick's own is YCCK (transform 2).
cp cmyk.jpeg cmyk0.jpeg
at=$(grep -obUa Adobe cmyk.jpeg | head -1 | cut -d: -f1)
printf '\000' | dd of=cmyk0.jpeg bs=1 seek=$((at + 11)) conv=notrunc 2>/dev/null
convert cmyk0.jpeg -colorspace sRGB -depth 8 rgb:cmyk0.magick.rgb

# Phone photographs: an Exif block (make, orientation, software) in either byte order for each
# of the 8 orientations, and ImageMagick's upright reading of each.
byte() { for b in "$@"; do printf "\\$(printf %03o $((b & 255)))"; done; }
u16() { if [ "$order" = II ]; then byte $1 $(($1 >> 8)); else byte $(($1 >> 8)) $1; fi; }
u32() { if [ "$order" = II ]; then u16 $1; u16 $(($1 >> 16)); else u16 $(($1 >> 16)); u16 $1; fi; }
exif() {  # orientation, byte order: APP1 of 2 + 6 + 56 bytes
    byte 255 225 0 64; printf 'Exif\000\000%s' "$order"; u16 42; u32 8
    u16 3
    u16 0x010F; u16 2; u32 6; u32 50     # Make, 6 characters at offset 50
    u16 0x0112; u16 3; u32 1; u16 $1; u16 0
    u16 0x0131; u16 2; u32 3; printf 'ab\000\000'
    u32 0
    printf 'Phone\000'
}
for order in II MM; do
    for o in 1 2 3 4 5 6 7 8; do
        { head -c 2 c420.jpg; exif $o; tail -c +3 c420.jpg; } > exif$o$order.jpg
        convert exif$o$order.jpg -auto-orient -depth 8 rgb:exif$o$order.magick.rgb
    done
done
# A tag out of range, and an Exif block cut short inside its directory: shown as stored.
order=II
{ head -c 2 c420.jpg; exif 9; tail -c +3 c420.jpg; } > exif9II.jpg
{ head -c 2 c420.jpg; byte 255 225 0 28; printf 'Exif\000\000II'; u16 42; u32 8; u16 3
  byte 0x12 0x01 3 0 1 0 0 0 6 0; tail -c +3 c420.jpg; } > exifcutII.jpg

# Pictures as authors have them, for the tool's converter: PNG of every colour type and depth,
# interlaced, with alpha; BMPs of 16 and 32 bits with bit fields and alpha. The references are
# ImageMagick's readings composited over black and over the dialog face RGB(240,240,240).
convert src.ppm -alpha set -channel A -fx 'i/w' +channel alpha.png
convert -size 61x37 xc:navy -fill gold -draw 'circle 30,18 30,4' -fill red -draw 'rectangle 2,2 12,30' few.ppm
convert few.ppm -define png:color-type=0 -define png:bit-depth=8 -colorspace gray png_grey8.png
convert src.ppm -colorspace gray -define png:color-type=0 -define png:bit-depth=16 PNG:png_grey16.png
convert few.ppm -monochrome -define png:color-type=0 -define png:bit-depth=1 png_grey1.png
convert few.ppm -colorspace gray -depth 2 -define png:color-type=0 -define png:bit-depth=2 png_grey2.png
convert alpha.png -colorspace gray -define png:color-type=4 -define png:bit-depth=8 png_greya8.png
convert alpha.png -colorspace gray -depth 16 -define png:color-type=4 -define png:bit-depth=16 png_greya16.png
convert src.ppm PNG24:png_rgb8.png
convert src.ppm -depth 16 -evaluate multiply 0.9 PNG48:png_rgb16.png
convert alpha.png PNG32:png_rgba8.png
convert alpha.png -depth 16 PNG64:png_rgba16.png
convert few.ppm PNG8:png_pal8.png
convert few.ppm -colors 4 -define png:color-type=3 -define png:bit-depth=2 png_pal2.png
convert alpha.png -channel A -threshold 50% +channel PNG8:png_paltrns.png
convert alpha.png -interlace PNG PNG32:png_rgba8i.png
convert few.ppm -interlace PNG PNG8:png_pal8i.png
convert src.ppm -define bmp:subtype=RGB555 BMP:bmp16_555.bmp
convert src.ppm -define bmp:subtype=RGB565 BMP:bmp16_565.bmp
convert alpha.png -define bmp:subtype=ARGB4444 BMP:bmp16_4444.bmp
convert alpha.png -define bmp:subtype=ARGB1555 BMP:bmp16_1555.bmp
convert alpha.png BMP:bmp32a.bmp
convert few.ppm -type TrueColorAlpha BMP:bmp32.bmp
# 16 bits without bit fields: 5-5-5 by the format's default.
convert src.ppm -define bmp:subtype=RGB555 BMP3:bmp16_rgb.bmp
printf '\000' | dd of=bmp16_rgb.bmp bs=1 seek=30 conv=notrunc 2>/dev/null
for f in png_*.png bmp16_*.bmp bmp32*.bmp; do
    convert "$f" -background black -alpha remove -alpha off -depth 8 "rgb:${f%.*}.black.rgb"
    convert "$f" -background 'rgb(240,240,240)' -alpha remove -alpha off -depth 8 "rgb:${f%.*}.face.rgb"
done

# The area scaler against ImageMagick's -resize (its default filter): a photo-like plasma, and
# fine lines and a grid of dots, where nearest neighbour (-sample) falls far behind.
convert -size 640x427 -seed 11 plasma: scale_photo.ppm
convert -size 640x428 xc: -fx 'i%2' scale_lines.ppm
convert -size 640x428 xc: -fx '(i%2)*(j%2)' scale_dots.ppm
for f in scale_photo:211x141 scale_photo:320x214 scale_lines:160x107 scale_dots:320x214; do
    name=${f%:*} size=${f#*:}
    raw $name.ppm $name.rgb
    convert $name.ppm -resize "$size!" -depth 8 "rgb:$name.$size.magick.rgb"
    convert $name.ppm -sample "$size!" -depth 8 "rgb:$name.$size.sample.rgb"
done

# Slides: the plasma as a phone stores it in each orientation, and ImageMagick's upright
# reading filled to and fitted in 200x150.
cjpeg -quality 95 -sample 1x1 scale_photo.ppm > scale_photo.jpg
order=II
for o in 1 2 3 4 5 6 7 8; do
    { head -c 2 scale_photo.jpg; exif $o; tail -c +3 scale_photo.jpg; } > slide$o.jpg
    convert slide$o.jpg -auto-orient -resize '200x150^' -gravity center -extent 200x150 \
        -depth 8 rgb:slide$o.fill.rgb
    convert slide$o.jpg -auto-orient -resize 200x150 -background black -gravity center \
        -extent 200x150 -depth 8 rgb:slide$o.fit.rgb
done
convert scale_photo.ppm -type TrueColor BMP3:slide.bmp

# Sizes of the raw files tell the tests the dimensions.
for f in *.ppm *.bmp *.jpg *.jpeg *.png; do identify -format "%f %w %h\n" "$f"; done > sizes.txt
echo "$recipe" > stamp
