// ReadBmp, RLE expansion included, then the conversion to 24 bits, on arbitrary bytes.
//
// Each input is read twice, once with every new pixel block filled with zeros and once with
// 0xA5 (the fuzz build wraps GlobalAlloc, see CMakeLists.txt): a decoder that reads memory the
// file never filled gives two different pictures.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/imaging/Scratch.h"
#include "imaging/Bitmap.h"
#include "support/File.h"

namespace {

BYTE gFill = 0;

// A picture of more than 64 Ki pixels runs the same row loops as a small one, only longer: each
// input is read twice into filled blocks and converted, so the size a header claims sets the
// pace of the search. Larger pictures (up to the reader's own cap) are the unit tests' part.
// Both sides are at most 2^31, so the product fits in 64 bits.
bool Oversized(const std::uint8_t* data, std::size_t size) {
    BmpHeaders headers;
    if (!ParseBmpHeaders(data, size, headers)) return false;
    const std::int32_t w = headers.Info.biWidth, h = headers.Info.biHeight;
    if (w <= 0 || h <= 0) return false;
    return std::uint64_t(w) * std::uint64_t(h) > (64u << 10);
}

// What a read leaves: its code, header, colour table and pixel bytes (not the row padding,
// which no conversion writes).
struct Outcome {
    ErrorCode code = 0;
    BITMAPINFOHEADER header{};
    std::vector<BYTE> palette, pixels;
    bool operator==(const Outcome& o) const {
        return code == o.code && std::memcmp(&header, &o.header, sizeof(header)) == 0 &&
               palette == o.palette && pixels == o.pixels;
    }
};

void Capture(const cBitmap& bitmap, ErrorCode code, Outcome& out) {
    out.code = code;
    out.header = bitmap.FHeader;
    const auto* table = reinterpret_cast<const BYTE*>(bitmap.FPalette);
    out.palette.assign(table, table + sizeof(bitmap.FPalette));
    out.pixels.clear();
    if (!bitmap.HasPixels()) return;
    const std::size_t used = (std::size_t(bitmap.Width()) * bitmap.BitCount() + 7) / 8;
    const std::size_t stride = bitmap.FStride;
    out.pixels.assign(bitmap.Row(0), bitmap.Row(0) + stride * std::size_t(bitmap.Height()));
    if (used == stride) return;
    for (std::size_t row = 0; row < out.pixels.size(); row += stride) {
        std::memset(out.pixels.data() + row + used, 0, stride - used);
    }
}

// One read of the scratch file and its conversion to 24 bits.
void ReadOnce(const std::string& path, Outcome& read, Outcome& converted) {
    cFile file;
    if (file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ) != 0) __builtin_trap();
    cBitmap bitmap;
    const ErrorCode code = bitmap.ReadBmp(file);
    file.Close();
    Capture(bitmap, code, read);
    if (code == 0) {
        if (!bitmap.HasPixels() || bitmap.FHeader.biCompression != 0) __builtin_trap();
        Capture(bitmap, bitmap.IncreaseColorDepth(), converted);
        bitmap.FreeBits();
    } else if (bitmap.HasPixels()) {
        __builtin_trap();  // a failed read must not keep a block
    }
}

}  // namespace

// Every pixel block comes from GlobalAlloc; the fuzz build links this in its place.
HGLOBAL __real__Z11GlobalAllocjm(UINT flags, SIZE_T bytes) asm("__real__Z11GlobalAllocjm");
extern "C" HGLOBAL __wrap__Z11GlobalAllocjm(UINT flags, SIZE_T bytes) {
    HGLOBAL block = __real__Z11GlobalAllocjm(flags, bytes);
    if (block && !(flags & GMEM_ZEROINIT)) std::memset(block, gFill, bytes);
    return block;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (Oversized(data, size)) return 0;
    static const std::string path = ScratchPath("bmp");
    if (!WriteScratch(path, data, size)) return 0;

    Outcome read[2], converted[2];
    const BYTE fills[2] = {0x00, 0xA5};
    for (int i = 0; i < 2; ++i) {
        gFill = fills[i];
        ReadOnce(path, read[i], converted[i]);
    }
    if (!(read[0] == read[1]) || !(converted[0] == converted[1])) __builtin_trap();
    std::remove(path.c_str());
    return 0;
}
