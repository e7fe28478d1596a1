// LoadJpeg on arbitrary bytes: the library's errors must come back as codes, and whatever
// decodes must fill a sound 24-bit bitmap.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/imaging/Scratch.h"
#include "imaging/Dither.h"
#include "imaging/JpegFile.h"
#include "imaging/Transitionsunit.h"

namespace {

// Finds the frame size; pictures of more than 4 megapixels only slow the search (libjpeg
// buffers whole progressive pictures).
bool Oversized(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 8 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
            data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
            const std::uint32_t h = (data[i + 5] << 8) | data[i + 6];
            const std::uint32_t w = (data[i + 7] << 8) | data[i + 8];
            if (std::uint64_t(w) * h > (4u << 20)) return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (Oversized(data, size)) return 0;
    static const std::string path = ScratchPath("jpg");
    if (!WriteScratch(path, data, size)) return 0;

    cBitmap bitmap;
    const ErrorCode code = LoadJpeg(bitmap, path.c_str(), 0);
    if (code == 0) {
        if (!bitmap.HasPixels() || bitmap.BitCount() != 24 ||
            bitmap.FStride < DWORD(3 * bitmap.Width())) {
            __builtin_trap();
        }
    } else if (code != ERR_INVALID_FORMAT && code != ERR_OUT_OF_MEMORY) {
        __builtin_trap();
    }

    // The decode that fits as it goes skips rows; on success it must equal the plain decode
    // shrunk by the resampler, byte for byte.
    cBitmap fitted;
    const ErrorCode fittedCode = LoadJpeg(fitted, path.c_str(), 0, 37, 23);
    if ((fittedCode == 0) != (code == 0)) __builtin_trap();
    if (code == 0) {
        std::int32_t w, h;
        FitSize(bitmap.Width(), bitmap.Height(), 37, 23, w, h);
        cDither resampler;
        if (resampler.Resample(bitmap, w, h) != 0) __builtin_trap();
        if (fitted.Width() != w || fitted.Height() != h || fitted.BitCount() != 24)
            __builtin_trap();
        for (std::int32_t y = 0; y < h; ++y) {
            if (std::memcmp(fitted.Row(y), bitmap.Row(y), std::size_t(w) * 3) != 0)
                __builtin_trap();
        }
    }
    bitmap.FreeBits();
    fitted.FreeBits();
    std::remove(path.c_str());
    return 0;
}
