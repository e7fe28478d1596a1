// ssPicture: a picture as the saver holds it, with the steps that bring it from its source to
// the screen: Load, Resize (fit), Quantize (feed the colour cube), Dither.
//
// Unlike cBitmap, every step raises std::runtime_error with the message the user sees; the
// picture's error code names the cause.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/ColorCube.h"
#include "imaging/Dither.h"

class ssPak;

// Picture types as the container stores them.
constexpr BYTE kPictureTypeBmp = 0;
constexpr BYTE kPictureTypeJpeg = 1;

class ssPicture : public cBitmap {
public:
    ssPicture() = default;
    ~ssPicture() override { FreeBits(); }
    ssPicture(const ssPicture&) = delete;
    ssPicture& operator=(const ssPicture&) = delete;

    // Decodes the picture whose descriptor sits at `position` in the container.
    //
    // Each load names the size the picture is to be fitted to (0 in either: none). A JPEG is
    // then decoded straight to that size, byte for byte what the full decode followed by
    // Resize gives, in a fraction of the time and memory; Resize then finds it fitting. BMPs
    // load whole.
    void Load(ssPak& pak, std::int32_t position, std::int32_t fitWidth = 0,
              std::int32_t fitHeight = 0);
    // Decodes a stored picture held in memory (type 0 BMP, 1 JPEG), as the container's form
    // does: the picture as build stores it, before there is a container.
    void Load(BYTE type, const BYTE* data, std::size_t size, std::int32_t fitWidth = 0,
              std::int32_t fitHeight = 0);
    // Decodes a BMP or JPEG file, chosen by its extension.
    void Load(const char* name, std::int32_t fitWidth = 0, std::int32_t fitHeight = 0);
    // Shrinks the picture, keeping its aspect, until it fits the rectangle.
    void Resize(const RECT& target);
    void Quantize(cColorCube& cube);
    void Dither(cDither& ditherer);

    BYTE FPictureType = kPictureTypeJpeg;

private:
    [[noreturn]] void RaiseLoadError(const char* name);
};

// The size a W x H picture is shrunk to so it fits TW x TH (unchanged when it fits already).
void FitSize(std::int32_t width, std::int32_t height, std::int32_t targetWidth,
             std::int32_t targetHeight, std::int32_t& newWidth, std::int32_t& newHeight);
