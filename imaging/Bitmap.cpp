#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>

namespace {

std::atomic<std::uint64_t> gBlockBytes{0};
std::atomic<std::uint64_t> gPeakBlockBytes{0};

void CountBlock(std::uint64_t size) {
    const std::uint64_t now = gBlockBytes.fetch_add(size, std::memory_order_relaxed) + size;
    std::uint64_t peak = gPeakBlockBytes.load(std::memory_order_relaxed);
    while (now > peak && !gPeakBlockBytes.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

std::uint64_t PixelBlockBytes() { return gBlockBytes.load(); }
std::uint64_t PeakPixelBlockBytes() { return gPeakBlockBytes.load(); }
void ResetPeakPixelBlockBytes() { gPeakBlockBytes.store(gBlockBytes.load()); }

bool AllocatePixelBlock(std::uint64_t size, HGLOBAL& handle, BYTE*& pixels) {
    handle = nullptr;
    pixels = nullptr;
    if (size == 0 || size > kMaxPixelBlock) return false;
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size)));
    if (!block) return false;
    // Locked for the block's whole life: FreePixelBlock unlocks it.
    auto* locked = static_cast<BYTE*>(GlobalLock(block.Get()));
    if (!locked) return false;
    handle = block.Release();
    pixels = locked;
    CountBlock(GlobalSize(handle));
    return true;
}

void FreePixelBlock(HGLOBAL handle) {
    if (!handle) return;
    gBlockBytes.fetch_sub(GlobalSize(handle), std::memory_order_relaxed);
    UnlockAndFreeGlobalMemory(handle);
}

void NearestColumns(std::int32_t source, std::int32_t target, DWORD* columns) {
    for (std::int32_t j = 0; j < target; ++j)
        columns[j] = DWORD(NearestSource(source, target, j)) * 3;
}

void SampleRow(const BYTE* in, const DWORD* columns, std::int32_t width, BYTE* out) {
    for (std::int32_t j = 0; j < width; ++j, out += 3) {
        const BYTE* px = in + columns[j];
        out[0] = px[0];
        out[1] = px[1];
        out[2] = px[2];
    }
}

cBitmap::cBitmap() {
    std::memset(&FHeader, 0, sizeof(FHeader));
    std::memset(FPalette, 0, sizeof(FPalette));
    // GDI reads header and colour table as one BITMAPINFO.
    static_assert(sizeof(BITMAPINFOHEADER) == 40 && alignof(RGBQUAD) == 1);
}

void cBitmap::FreeBits() {
    if (!FPixels) return;
    FreePixelBlock(FBits);
    FBits = nullptr;
    FPixels = nullptr;
    FBlockSize = 0;
}

void cBitmap::InstallBits(HGLOBAL handle, BYTE* pixels, DWORD stride) {
    // A bitmap loaded again without FreeBits would otherwise lose its old block for good.
    if (FPixels && FBits != handle) FreeBits();
    FBits = handle;
    FPixels = pixels;
    FStride = stride;
    FBlockSize = std::uint64_t(stride) * std::uint64_t(std::max<std::int32_t>(FHeader.biHeight, 0));
}

std::int32_t cBitmap::RowStride(std::int32_t width, WORD bitCount) {
    switch (bitCount) {
        case 1:
            return ((width + 31) & 0xFFE0) / 8;
        case 4:
            return ((width + 7) & 0xFFF8) / 2;
        case 8:
            return (width + 3) & 0xFFFC;
        default:
            return (3 * width + 3) & 0xFFFC;
    }
}

bool cBitmap::WidthFits(std::int32_t width, WORD bitCount) {
    switch (bitCount) {
        case 1:
            return width <= kMaxWidth1;
        case 4:
            return width <= kMaxWidth4;
        case 8:
            return width <= kMaxWidth8;
        default:
            return width <= kMaxWidth24;
    }
}

DWORD cBitmap::PaletteSize(const BITMAPINFOHEADER& header) {
    if (header.biClrUsed != 0) return header.biClrUsed;
    if (header.biClrImportant != 0) return header.biClrImportant;
    switch (header.biBitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

DWORD cBitmap::ImageSize(const BITMAPINFOHEADER& header) {
    if (header.biSizeImage != 0) return header.biSizeImage;
    return DWORD(RowStride(header.biWidth, header.biBitCount)) * DWORD(header.biHeight);
}

ErrorCode cBitmap::AllocateBits() {
    FreeBits();  // see InstallBits
    FStride = DWORD(RowStride(FHeader.biWidth, FHeader.biBitCount));
    // A zero or negative height (or stride) yields no block, as GlobalAlloc of nothing would.
    std::int64_t size = std::int64_t(std::int32_t(FStride)) * FHeader.biHeight;
    HGLOBAL handle;
    BYTE* pixels;
    if (size <= 0 || !AllocatePixelBlock(std::uint64_t(size), handle, pixels)) {
        return SetError(ERR_OUT_OF_MEMORY);
    }
    FBits = handle;
    FPixels = pixels;
    FBlockSize = std::uint64_t(size);
    return SetError(0);
}

namespace {

// One row of 1-, 4- or 8-bit palette indices as 24-bit BGR pixels.
void ExpandIndexedRow(const BYTE* src, BYTE* out, std::int32_t width, WORD bits,
                      const RGBQUAD* palette) {
    if (bits == 8) {
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            const RGBQUAD& c = palette[src[x]];
            out[0] = c.rgbBlue;
            out[1] = c.rgbGreen;
            out[2] = c.rgbRed;
        }
    } else {
        // Indices are packed from the most significant bit down.
        const BYTE* in = src;
        int shift = 8 - bits;
        unsigned mask = ((1u << bits) - 1) << shift;
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            const RGBQUAD& c = palette[(*in & mask) >> shift];
            out[0] = c.rgbBlue;
            out[1] = c.rgbGreen;
            out[2] = c.rgbRed;
            shift -= bits;
            if (shift < 0) {
                ++in;
                shift = 8 - bits;
                mask = ((1u << bits) - 1) << shift;
            } else {
                mask >>= bits;
            }
        }
    }
}

}  // namespace

void cBitmap::ExpandRow(const BYTE* row, BYTE* out) const {
    ExpandIndexedRow(row, out, FHeader.biWidth, FHeader.biBitCount, FPalette);
}

ErrorCode cBitmap::IncreaseColorDepth() {
    const WORD bits = FHeader.biBitCount;
    if (bits == 24) return SetError(0);
    if ((bits != 1 && bits != 4 && bits != 8) || !FPixels) return SetError(ERR_INVALID_FORMAT);
    // Past 21,844 pixels the 16-bit stride of a 24-bit row is too short for the row; refuse
    // rather than write past the new block.
    if (FHeader.biWidth > kMaxWidth24) return SetError(ERR_OUT_OF_MEMORY);

    BITMAPINFOHEADER target = FHeader;
    target.biBitCount = 24;
    target.biClrUsed = 0;
    target.biClrImportant = 0;
    target.biSizeImage = 0;
    const DWORD targetStride = DWORD(RowStride(target.biWidth, 24));
    HGLOBAL handle;
    BYTE* block;
    if (!AllocatePixelBlock(std::uint64_t(targetStride) * DWORD(target.biHeight), handle, block)) {
        return SetError(ERR_OUT_OF_MEMORY);
    }
    UniquePixelBlock owned(handle);

    const std::int32_t width = FHeader.biWidth;
    const BYTE* src = FPixels;
    BYTE* dst = block;
    for (std::int32_t row = 0; row < FHeader.biHeight; ++row) {
        if (IsCancelled()) return SetError(ERR_CANCELLED);
        ExpandIndexedRow(src, dst, width, bits, FPalette);
        src += FStride;
        dst += targetStride;
    }

    FHeader = target;
    FreeBits();
    InstallBits(owned.Release(), block, targetStride);
    return SetError(0);
}

#ifdef _WIN32
bool cBitmap::Draw(HDC dc, std::int32_t x, std::int32_t y, DWORD rop) const {
    const std::int32_t w = FHeader.biWidth;
    const std::int32_t h = FHeader.biHeight;
    return StretchDIBits(dc, x, y, w, h, 0, 0, w, h, FPixels, Info(), DIB_RGB_COLORS, rop) !=
           GDI_ERROR;
}
#endif
