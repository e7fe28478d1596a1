// Helpers for the imaging tests: BMP data assembled field by field, JPEGs encoded by libjpeg
// (TestJpeg.h), and the pictures made by make-pictures.sh.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "TestJpeg.h"
#include "imaging/Bitmap.h"
#include "imaging/Display.h"

using Bytes = std::vector<std::uint8_t>;

// Puts the display seam on a simulated screen for one scope.
class OnDisplay {
public:
    explicit OnDisplay(int depth) {
        const DisplayInfo info = SimulatedDisplay(depth);
        SetDisplayOverride(&info);
    }
    explicit OnDisplay(const DisplayInfo& info) { SetDisplayOverride(&info); }
    ~OnDisplay() { SetDisplayOverride(nullptr); }
    OnDisplay(const OnDisplay&) = delete;
    OnDisplay& operator=(const OnDisplay&) = delete;
};

// Fields of a BMP as a test sets them; pixel data follows the colour table.
struct BmpSpec {
    std::uint32_t headerSize = 40;  // past 40: zeros follow the 40 bytes we know
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
    std::uint32_t dataOffset = 0;    // 0: right after the colour table
    std::vector<RGBQUAD> palette{};  // written as given
    Bytes gap{};                     // bytes between the colour table and the pixel data
    Bytes pixels{};
};
Bytes MakeBmp(const BmpSpec& spec);

// Gives the bitmap a black 24-bit picture of w x h.
void Make24(cBitmap& b, std::int32_t w, std::int32_t h);

// Reads BMP data from bytes through a real file, as the saver would.
ErrorCode ReadBmpBytes(cBitmap& bitmap, const Bytes& bytes);

// The folder of generated pictures, and helpers on its files.
std::string PicturePath(const std::string& name);
Bytes ReadAll(const std::string& path);
// Top-down RGB of a bitmap (any bit count), as ImageMagick writes rgb: files.
Bytes TopDownRgb(const cBitmap& bitmap);
