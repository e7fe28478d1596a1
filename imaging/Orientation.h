// Exif orientation: how a camera says its picture is to be turned to stand upright, and the
// turn itself.
//
// A phone stores a portrait photograph as the sensor saw it, on its side, and records in the
// Exif block (an APP1 marker holding a small TIFF directory) which of eight orientations the
// rows have. Every viewer turns the picture upright by that tag; so do we, for the preview, the
// logo and `saverpak preview` alike, since all of them load JPEGs through LoadJpeg.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"

// The orientation the Exif block of an APP1 marker's data gives (1 to 8), or 1 ("as stored")
// when the data is no Exif block, or its tag is missing, malformed or out of range. Reads only
// inside the `size` bytes given.
int ExifOrientation(const std::uint8_t* data, std::size_t size);

// An orientation as a turn of the stored picture, in the bitmap's own coordinates (columns
// from the left, stored rows from the bottom): pixel (x, y) of the upright picture is the
// stored pixel (u, v) with, when `transposed`, u from y and v from x (else u from x, v from y),
// and u counted from the right when `mirrorX`, v from the top when `mirrorY`.
struct PictureTurn {
    bool transposed = false;
    bool mirrorX = false;
    bool mirrorY = false;
    bool IsNone() const { return !transposed && !mirrorX && !mirrorY; }
};
PictureTurn TurnFor(int orientation);

// Turns a 24-bit bitmap upright: one new block, the old one freed when the new one is complete.
// Returns 0, ERR_OUT_OF_MEMORY (the bitmap unchanged) or ERR_CANCELLED (likewise; the cancel
// flag is read once a row). Does not set the bitmap's error code.
ErrorCode TurnBitmap(cBitmap& bitmap, const PictureTurn& turn);
