#!/bin/bash
# Makes the demo saver's pictures with ImageMagick, so no picture needs to live in git:
#   preview.jpg  content item 0, the picture of the display control panel's preview
#   logo.bmp     content item 1, the configuration dialog's logo
#   scene.bmp    the same scene as a 24-bit BMP, for authors who want to compare the two formats
#   snowfall.ico the saver's icon: the snowman, at 256 (PNG), 48, 32 and 16 pixels
#   pictures/    three photographs of the scene for the picture saver (Pictures.toml): by day
#                (JPEG), at dusk (PNG) and at night on its side, as a phone stores a portrait
#                (JPEG with Exif orientation 6)
# Usage: demo/make-content.sh OUTPUT-FOLDER
set -euo pipefail
out="${1:?usage: make-content.sh OUTPUT-FOLDER}"
mkdir -p "$out"

# A night sky, a snowy hill, a snowman and a fixed scatter of flakes (no randomness: the same
# bytes on every build).
flakes=""
for i in $(seq 0 59); do
    x=$(( (i * 97 + 13) % 640 )); y=$(( (i * 53 + 29) % 300 )); r=$(( 2 + i % 3 ))
    flakes+=" circle $x,$y $((x + r)),$y"
done
convert -size 640x480 gradient:'#0c1840-#3a6ea5' \
    -fill '#f4f8ff' -draw "ellipse 320,560 520,200 0,360" \
    -fill white -draw "circle 320,330 320,395" -draw "circle 320,240 320,285" \
    -draw "circle 320,172 320,205" \
    -fill '#202020' -draw "circle 308,165 308,171" -draw "circle 332,165 332,171" \
    -fill '#e8702a' -draw "polygon 320,175 352,182 320,186" \
    -fill '#b02020' -draw "rectangle 288,198 352,210" \
    -fill white -draw "${flakes}" \
    -type TrueColor "$out/scene.png"
convert "$out/scene.png" -quality 90 -sampling-factor 2x2 "$out/preview.jpg"
convert "$out/scene.png" -type TrueColor BMP3:"$out/scene.bmp"

convert -size 180x64 gradient:'#0c1840-#1f3f7a' \
    -fill white -font DejaVu-Sans-Bold -pointsize 26 -gravity center -annotate +0+0 'Snowfall' \
    -type TrueColor BMP3:"$out/logo.bmp"
convert "$out/scene.png" -crop 240x240+200+110 +repage -depth 8 -define icon:auto-resize=256,48,32,16 \
    -define png:exclude-chunks=date,time "$out/snowfall.ico"
mkdir -p "$out/pictures"
convert "$out/scene.png" -modulate 150,110 -fill '#8ec5ff' -opaque '#3a6ea5' -quality 90 \
    "$out/pictures/1-day.jpg"
convert "$out/scene.png" -fill '#c0603a' -colorize 25% -define png:exclude-chunks=date,time \
    "$out/pictures/2-dusk.png"
# Stored a quarter turn anticlockwise, with the tag that turns it back upright.
convert "$out/scene.png" -rotate -90 -quality 90 "$out/pictures/3-night.jpg"
exiftool -q -overwrite_original -Orientation=6 -n "$out/pictures/3-night.jpg"
rm -f "$out/scene.png"
