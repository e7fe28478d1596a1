// JPEG decoding through libjpeg into a 24-bit cBitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/Bitmap.h"

// A progressive picture with more scans than this is hostile, not a photograph: the library
// would otherwise spend minutes re-decoding the whole picture once per scan.
constexpr int kMaxJpegScans = 100;

// Pictures with an Exif orientation come out upright (imaging/Orientation.h): a fit target
// then applies to the upright picture, and the result is byte for byte what shrinking the
// upright full decode gives.
//
// Decodes the JPEG data that starts `offset` bytes into the file `name` into the empty bitmap,
// as 24 bits per pixel, bottom-up. Returns 0, ERR_OPEN_FAILED, ERR_INVALID_FORMAT,
// ERR_OUT_OF_MEMORY or ERR_CANCELLED; the bitmap's own error code is left to the caller.
//
// With a fit target (both above 0) the picture comes out exactly as a full decode followed by
// ssPicture::Resize to that target would leave it, byte for byte (both take their rows and
// columns from NearestSource), but most source rows the resampler would not take are skipped
// rather than converted, and no full-size block is ever made.
ErrorCode LoadJpeg(cBitmap& bitmap, const char* name, std::int32_t offset,
                   std::int32_t fitWidth = 0, std::int32_t fitHeight = 0);

// The same decode from JPEG data in memory. `reason`, when given, receives why a picture that
// fails was refused: the library's message, or the limit it passes.
ErrorCode LoadJpegBytes(cBitmap& bitmap, const std::uint8_t* data, std::size_t size,
                        std::int32_t fitWidth = 0, std::int32_t fitHeight = 0,
                        std::string* reason = nullptr);

// Takes a JPEG's rows as they are decoded, top first, in blue, green, red, at a DCT scale it
// chooses: the slideshow streams them into its scaler and never holds the decoded picture.
// Its calls come from inside the decode and must not throw.
class JpegRowSink {
public:
    // Given the stored size and the Exif orientation (1 to 8), returns the scale to decode at,
    // in eighths (1 to 8): libjpeg-turbo then does most of the shrinking in the DCT.
    virtual int ChooseScale(std::int32_t width, std::int32_t height, int orientation) = 0;
    // Given the size decoded at that scale, sets the rows [first, end) it wants (the rows
    // before them are skipped where the library can, none after them are decoded), or returns
    // false to refuse the picture.
    virtual bool Begin(std::int32_t width, std::int32_t height, std::int32_t& first,
                       std::int32_t& end) = 0;
    // Row `y` of `width` pixels; false stops the decode with ERR_CANCELLED.
    virtual bool Row(std::int32_t y, const std::uint8_t* bgr) = 0;

protected:
    ~JpegRowSink() = default;
};

// Streams the JPEG data read from `stream` (at its current position) or held in memory into
// the sink. Returns 0, ERR_INVALID_FORMAT (with the reason, when asked) or ERR_CANCELLED.
ErrorCode StreamJpeg(std::FILE* stream, JpegRowSink& sink, std::string* reason = nullptr);
ErrorCode StreamJpegBytes(const std::uint8_t* data, std::size_t size, JpegRowSink& sink,
                          std::string* reason = nullptr);
