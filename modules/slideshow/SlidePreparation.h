// Preparing one slide for one screen: decode, stand upright, fit or fill, scale, all in one
// pass over the picture's rows, into a frame of the screen's own size.
//
// The picture is never held whole. A JPEG is decoded at the smallest DCT scale that still
// covers the scaled size (libjpeg-turbo's scale_num / 8), and its rows stream into the area
// scaler, which keeps only the part of the picture that shows. The scaler works in the stored
// orientation (rows come as they are stored), and each finished row is written straight to
// where the Exif orientation puts it in the frame: the turn costs no second buffer. Decoded
// BMPs (the converted pictures `saverpak build` stores) pass through the same scaler.
//
// Portable: the slideshow module, the bench program and the tests all prepare slides here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/AreaScaler.h"
#include "modules/slideshow/SlideshowSettings.h"

// Where a fitted or filled picture goes: scaled (upright) to ScaledWidth x ScaledHeight, of
// which Window shows, with its top left corner at (Left, Top) of the frame.
struct SlidePlacement {
    std::int32_t ScaledWidth = 0, ScaledHeight = 0;
    ScaleWindow Window;
    std::int32_t Left = 0, Top = 0;
};

// "fit": the whole picture, as large as the frame allows, centred (black around it). "fill":
// the frame covered, the picture cut evenly on the two sides that overflow. Small pictures are
// enlarged.
SlidePlacement PlaceSlide(std::int32_t width, std::int32_t height, std::int32_t frameWidth,
                          std::int32_t frameHeight, SlideFit fit);

// The DCT scale, in eighths (1 to 8), that decodes a width x height JPEG to the smallest size
// still at least scaledWidth x scaledHeight (8 when even the full size is smaller).
int DctScaleFor(std::int32_t width, std::int32_t height, std::int32_t scaledWidth,
                std::int32_t scaledHeight);

// A frame: top-down rows of blue, green, red, `Stride` bytes apart.
struct SlideFrame {
    std::uint8_t* Pixels = nullptr;
    std::int32_t Width = 0, Height = 0;
    std::ptrdiff_t Stride = 0;
};

// Where a slide's data lies: `Size` bytes at `Offset` in the file `Path` (the saver), or in
// memory at `Bytes`; `Jpeg` says which decoder reads it (else BMP).
struct SlideSource {
    const char* Path = nullptr;
    std::int64_t Offset = 0;
    const std::uint8_t* Bytes = nullptr;
    std::size_t Size = 0;
    bool Jpeg = true;
};

// Prepares the slide into the frame (every pixel written: black where the picture is not).
// Returns "" or why the picture cannot be shown; `cancel`, when given, is read once a row and
// stops the work, leaving the frame unfinished.
// `placed`, when given, receives where the picture went in the frame.
std::string PrepareSlide(const SlideSource& source, SlideFit fit, const SlideFrame& frame,
                         const std::atomic<bool>* cancel = nullptr,
                         SlidePlacement* placed = nullptr);
