// LoadJpeg on arbitrary bytes, from memory: the library's errors must come back as codes, the
// Exif reader must stay inside its marker, and whatever decodes must fill a sound 24-bit bitmap.
//
// Each input is decoded once, fitted (rows skipped, columns sampled, then turned upright, as
// the preview decodes). One input in eight is decoded whole as well, to hold the fitted decode
// to the full one shrunk, byte for byte; a second decode of every input would halve the pace.
#include <cstdint>
#include <cstring>

#include "fuzz/imaging/JpegFrameSize.h"
#include "imaging/Dither.h"
#include "imaging/JpegFile.h"
#include "imaging/Transitionsunit.h"

namespace {

constexpr std::int32_t kFitWidth = 37, kFitHeight = 23;

void CheckSound(const cBitmap& bitmap) {
    if (!bitmap.HasPixels() || bitmap.BitCount() != 24 ||
        bitmap.FStride < DWORD(3 * bitmap.Width())) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (JpegOversized(data, size)) return 0;
    cBitmap fitted;
    const ErrorCode code = LoadJpegBytes(fitted, data, size, kFitWidth, kFitHeight);
    if (code == 0) {
        CheckSound(fitted);
        if (fitted.Width() > kFitWidth || fitted.Height() > kFitHeight) __builtin_trap();
    } else if (code != ERR_INVALID_FORMAT && code != ERR_OUT_OF_MEMORY) {
        __builtin_trap();
    }

    if (size % 8 == 0) {
        cBitmap whole;
        const ErrorCode wholeCode = LoadJpegBytes(whole, data, size);
        if ((wholeCode == 0) != (code == 0)) __builtin_trap();
        if (wholeCode == 0) {
            CheckSound(whole);
            std::int32_t w, h;
            FitSize(whole.Width(), whole.Height(), kFitWidth, kFitHeight, w, h);
            cDither resampler;
            if (resampler.Resample(whole, w, h) != 0) __builtin_trap();
            if (fitted.Width() != w || fitted.Height() != h) __builtin_trap();
            for (std::int32_t y = 0; y < h; ++y) {
                if (std::memcmp(fitted.Row(y), whole.Row(y), std::size_t(w) * 3) != 0)
                    __builtin_trap();
            }
        }
        whole.FreeBits();
    }
    fitted.FreeBits();
    return 0;
}
