// Prepares one picture for one screen as the slideshow does (modules/slideshow/
// SlidePreparation: decode at the covering DCT scale, scale by area, turn upright, fill or
// fit) and writes the frame as a 24-bit BMP. slideshow-bench.sh times it, whole process,
// against ImageMagick doing the same.
//   slide_bench IN.jpg|IN.bmp WIDTHxHEIGHT OUT.bmp [fit]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "modules/slideshow/SlidePreparation.h"

namespace {

void Put(std::FILE* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(int((value >> (8 * i)) & 0xFF), out);
}

bool WriteBmp(const char* path, const SlideFrame& frame) {
    std::FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const std::uint32_t image = std::uint32_t(frame.Stride * frame.Height);
    std::fputs("BM", out);
    Put(out, 54 + image, 4);
    Put(out, 0, 4);
    Put(out, 54, 4);
    Put(out, 40, 4);
    Put(out, std::uint32_t(frame.Width), 4);
    Put(out, std::uint32_t(-frame.Height), 4);  // top-down rows
    Put(out, 1, 2);
    Put(out, 24, 2);
    for (int i = 0; i < 6; ++i) Put(out, 0, 4);
    std::fwrite(frame.Pixels, 1, image, out);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 0, height = 0;
    if (argc < 4 || std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 ||
        height <= 0) {
        std::fprintf(stderr, "usage: slide_bench IN WIDTHxHEIGHT OUT.bmp [fit]\n");
        return 2;
    }
    const std::ptrdiff_t stride = (std::ptrdiff_t(width) * 3 + 3) & ~std::ptrdiff_t(3);
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(height));
    const SlideFrame frame{pixels.data(), width, height, stride};
    SlideSource source;
    source.Path = argv[1];
    const char* dot = std::strrchr(argv[1], '.');
    source.Jpeg = !(dot && std::strcmp(dot, ".bmp") == 0);
    const SlideFit fit =
        argc > 4 && std::strcmp(argv[4], "fit") == 0 ? SlideFit::Fit : SlideFit::Fill;
    const std::string error = PrepareSlide(source, fit, frame);
    if (!error.empty()) {
        std::fprintf(stderr, "slide_bench: %s\n", error.c_str());
        return 1;
    }
    return WriteBmp(argv[3], frame) ? 0 : 1;
}
