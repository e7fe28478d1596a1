// Run-length encoded BMPs (8- and 4-bit) expanded to plain rows, every run checked against the
// row and the block it writes into.
#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>

ErrorCode cBitmap::Decompress() {
    switch (FHeader.biCompression) {
        case BI_RLE8:
            return DecodeRle8();
        case BI_RLE4:
            return DecodeRle4();
        default:
            return SetError(0);
    }
}

// RLE expansion.
//
// Both decoders read the compressed data from the start of the current block (only the bytes
// the file gave) and write a new block of stride x height bytes. The output position is a row
// start and a pixel column, both kept in 64 bits: deltas and runs may push them arbitrarily
// far, and every write is tested against the block's end before it happens, so a hostile
// stream ends in an error, never in a stray write. Every command consumes at least two input
// bytes, so the loop always ends. A command that writes nothing (an end of line or a delta past
// the last row, as some writers end their data) is no fault: only a pixel written outside the
// block or missing input is. Pixels that no command writes are left 0 (colour 0), not as the
// allocation found them.
namespace {

struct RleCursor {
    const BYTE* in;
    std::uint64_t left;  // input bytes not yet consumed
    std::uint64_t row;   // offset of the current row start in the output block
    std::uint64_t x;     // pixel column
};

struct RleTarget {
    BYTE* out;
    std::uint64_t size;
    DWORD stride;
};

// The two formats differ only in how a pixel is stored and how many data bytes an absolute run
// of n pixels takes.
struct Rle8 {
    static constexpr WORD kBits = 8;
    static std::uint64_t DataBytes(unsigned n) { return n; }
    // Pixel i of an encoded run, and of an absolute run.
    static unsigned RunPixel(BYTE value, unsigned) { return value; }
    static unsigned DataPixel(const BYTE* data, unsigned i) { return data[i]; }
    static bool Put(const RleTarget& t, const RleCursor& c, unsigned value) {
        const std::uint64_t at = c.row + c.x;
        if (at >= t.size) return false;
        t.out[at] = BYTE(value);
        return true;
    }
};

struct Rle4 {
    static constexpr WORD kBits = 4;
    static std::uint64_t DataBytes(unsigned n) { return (n + 1) / 2; }
    // Even pixels take the high half, odd ones the low half.
    static unsigned RunPixel(BYTE value, unsigned i) {
        return (i & 1) ? (value & 0x0F) : (value >> 4);
    }
    static unsigned DataPixel(const BYTE* data, unsigned i) { return RunPixel(data[i / 2], i); }
    // A pixel in a high half overwrites its whole byte; one in a low half only the low bits.
    static bool Put(const RleTarget& t, const RleCursor& c, unsigned value) {
        const std::uint64_t at = c.row + c.x / 2;
        if (at >= t.size) return false;
        t.out[at] = (c.x & 1) == 0 ? BYTE(value << 4) : BYTE((t.out[at] & 0xF0) | value);
        return true;
    }
};

// An absolute run of n pixels, its data padded to a 16-bit boundary.
template <class Format>
bool AbsoluteRun(const RleTarget& t, RleCursor& c, unsigned n) {
    const std::uint64_t bytes = Format::DataBytes(n);
    if (c.left < bytes) return false;
    for (unsigned i = 0; i < n; ++i, ++c.x) {
        if (!Format::Put(t, c, Format::DataPixel(c.in, i))) return false;
    }
    const std::uint64_t skip = std::min<std::uint64_t>(bytes + (bytes & 1), c.left);
    c.in += skip;
    c.left -= skip;
    return true;
}

template <class Format>
ErrorCode Expand(const cBitmap& bitmap, RleCursor c, const RleTarget& t) {
    for (;;) {
        if (bitmap.IsCancelled()) return ERR_CANCELLED;
        if (c.left < 2) return ERR_INVALID_FORMAT;
        const BYTE n = c.in[0];
        const BYTE second = c.in[1];
        c.in += 2;
        c.left -= 2;
        if (n == 0 && second == 1) return 0;  // end of bitmap
        if (n != 0) {                         // encoded run
            for (unsigned i = 0; i < n; ++i, ++c.x) {
                if (!Format::Put(t, c, Format::RunPixel(second, i))) return ERR_INVALID_FORMAT;
            }
        } else if (second == 0) {  // end of line
            c.row += t.stride;
            c.x = 0;
        } else if (second == 2) {  // delta
            if (c.left < 2) return ERR_INVALID_FORMAT;
            c.x += c.in[0];
            c.row += std::uint64_t(c.in[1]) * t.stride;
            c.in += 2;
            c.left -= 2;
        } else if (!AbsoluteRun<Format>(t, c, second)) {
            return ERR_INVALID_FORMAT;
        }
    }
}

}  // namespace

template <class Format>
ErrorCode cBitmap::DecodeRle() {
    const std::uint64_t inputSize = std::min<std::uint64_t>(FHeader.biSizeImage, FBlockSize);
    const DWORD stride = DWORD(RowStride(FHeader.biWidth, Format::kBits));
    const std::uint64_t outSize = std::uint64_t(stride) * DWORD(FHeader.biHeight);
    HGLOBAL handle;
    BYTE* out;
    if (!AllocatePixelBlock(outSize, handle, out)) return SetError(ERR_OUT_OF_MEMORY);
    UniquePixelBlock owned(handle);
    std::memset(out, 0, std::size_t(outSize));
    const ErrorCode code =
        Expand<Format>(*this, RleCursor{FPixels, inputSize, 0, 0}, RleTarget{out, outSize, stride});
    if (code != 0) return SetError(code);
    FreeBits();
    FHeader.biCompression = BI_RGB;
    FHeader.biSizeImage = 0;
    InstallBits(owned.Release(), out, stride);
    return SetError(0);
}

ErrorCode cBitmap::DecodeRle8() { return DecodeRle<Rle8>(); }
ErrorCode cBitmap::DecodeRle4() { return DecodeRle<Rle4>(); }
