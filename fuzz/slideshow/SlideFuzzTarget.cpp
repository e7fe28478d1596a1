// A slide prepared from arbitrary bytes, as the slideshow prepares the container's: a JPEG
// (or, starting "BM", a BMP) decoded, scaled, turned and fitted or filled into a small frame.
// Failures must come back as a reason; a fitted picture must leave black where it is not.
#include <cstdint>
#include <vector>

#include "fuzz/imaging/JpegFrameSize.h"
#include "modules/slideshow/SlidePreparation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (JpegOversized(data, size)) return 0;
    // The frame's size and the fit come from the input's length, so the corpus covers many.
    const std::int32_t width = 1 + std::int32_t(size % 61),
                       height = 1 + std::int32_t(size / 61 % 47);
    const SlideFit fit = size % 2 ? SlideFit::Fit : SlideFit::Fill;
    const std::ptrdiff_t stride = (std::ptrdiff_t(width) * 3 + 3) & ~std::ptrdiff_t(3);
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(height) + 1, 0x77);
    SlideSource source;
    source.Bytes = data;
    source.Size = size;
    source.Jpeg = !(size >= 2 && data[0] == 'B' && data[1] == 'M');
    PrepareSlide(source, fit, {pixels.data(), width, height, stride});
    if (pixels.back() != 0x77) __builtin_trap();  // nothing written past the frame
    return 0;
}
