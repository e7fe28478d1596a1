#!/bin/sh
# Seed corpora for the imaging fuzz targets, from the test pictures (ImageMagick and cjpeg
# files) plus RLE4 data, which no encoder at hand writes. Usage: make-corpus.sh PICTURES OUTDIR
set -eu
pictures=$1
out=$2
rm -rf "$out"
mkdir -p "$out/bmp" "$out/jpeg" "$out/convert" "$out/slide"
for f in thin1 thin4 thin8 thin24 thinrle8 thinrle8c5 srcrle8c5 src4 even8; do
    cp "$pictures/$f.bmp" "$out/bmp/"
done
for f in thin c420 grey prog restart cmyk cmyk0 exif9II exifcutII \
    exif1II exif2II exif3II exif4II exif5II exif6II exif7II exif8II \
    exif1MM exif2MM exif3MM exif4MM exif5MM exif6MM exif7MM exif8MM; do
    for ext in jpg jpeg; do
        [ -f "$pictures/$f.$ext" ] && cp "$pictures/$f.$ext" "$out/jpeg/"
    done
done
# The slideshow's: JPEGs in every orientation, BMPs as the tool stores them.
cp "$pictures"/exif[1-8]II.jpg "$pictures"/prog.jpg "$pictures"/cmyk.jpeg "$pictures"/grey.jpg \
    "$pictures"/src24.bmp "$pictures"/srcrle8.bmp "$pictures"/thin1.bmp "$out/slide/"
# The converter's: PNGs of every kind, BMPs of 16 and 32 bits.
cp "$pictures"/png_*.png "$pictures"/bmp16_*.bmp "$pictures"/bmp32*.bmp "$out/convert/"
# A 7 x 3 RLE4 picture: encoded runs, an absolute run with pad, a delta, end of line and bitmap.
{
    printf 'BM'
    printf '\000\000\000\000' ; printf '\000\000\000\000' ; printf '\166\000\000\000'
    printf '\050\000\000\000' ; printf '\007\000\000\000' ; printf '\003\000\000\000'
    printf '\001\000\004\000' ; printf '\002\000\000\000' ; printf '\030\000\000\000'
    printf '\000\000\000\000\000\000\000\000' ; printf '\000\000\000\000\000\000\000\000'
    i=0
    while [ $i -lt 16 ]; do printf "\\$(printf %03o $((i * 16)))\\$(printf %03o $i)\\377\\000"; i=$((i + 1)); done
    printf '\004\022\000\003\064\120\000\000\000\002\001\000\003\253\000\000\000\005\001\002\003\000\000\001'
} > "$out/bmp/rle4.bmp"
touch "$out/stamp"
