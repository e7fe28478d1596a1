// ReadBmp, RLE expansion included, then the conversion to 24 bits, on arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/Bitmap.h"
#include "support/File.h"

namespace {

std::string ScratchPath() {
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    std::string path = base;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + "saverpak-bmp-fuzz-" + std::to_string(std::uintptr_t(&ScratchPath) & 0xFFFF) +
           "-" + std::to_string(reinterpret_cast<std::uintptr_t>(&path) & 0xFFFFF) + ".bmp";
}

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Headers that ask for more than 32 MiB are refused by the cap or allocated untouched; they
    // only slow the search, so they are skipped here.
    if (size >= 54) {
        const std::int64_t w = std::int32_t(Le32(data + 18));
        const std::int64_t h = std::int32_t(Le32(data + 22));
        if (w > 0 && h > 0 && w * h * 3 > (32 << 20)) return 0;
    }
    static const std::string path = ScratchPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    cFile file;
    if (file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ) != 0) return 0;
    cBitmap bitmap;
    if (bitmap.ReadBmp(file) == 0) {
        if (!bitmap.HasPixels() || bitmap.FHeader.biCompression != 0) __builtin_trap();
        bitmap.IncreaseColorDepth();
        bitmap.FreeBits();
    } else if (bitmap.HasPixels()) {
        __builtin_trap();  // a failed read must not keep a block
    }
    file.Close();
    std::remove(path.c_str());
    return 0;
}
