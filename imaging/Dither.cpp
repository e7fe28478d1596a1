// The ditherer: Floyd-Steinberg error diffusion, one row at a time, left to right.
//
// Each pixel's colour plus the error carried to it from its neighbours is mapped to an output
// colour; what is left over (the error) goes 7/16 to the right, and 3/16, 5/16 and 1/16 to
// the row below (left, centre, right). Two error rows suffice: the current row, whose slots are
// cleared as they are used, and the next one; they swap every row. Errors are kept x16 so the
// weights stay integers, and shifted back arithmetically when used.
//
// On palettes the carried error is first passed through the spread table, which lets small
// errors through unchanged but compresses large ones (an error of 255 arrives as 19 with
// spread 6). Without it a hard edge against a colour the palette lacks smears along the row;
// with it the dither stays grainy but local. The uniform cube does without: its cells are evenly
// spaced, so errors are small anyway.
//
// Finding the palette entry: on a uniform cube it is arithmetic. On an adaptive palette the
// cube's tree is searched, once per colour cell of a lookup cache keyed by the top bits of each
// channel (5, 5 and 4 bits: 16,384 cells); the cache lives as long as the ditherer, so all the
// pictures of one load share their searches.
//
// Both passes stop at the next row when the ditherer's cancel flag or the picture's is set: a
// loader cancelled before this ditherer existed has set only the picture's.
//
// The result is written over the picture's own 24-bit rows: an output row is never longer than
// its input row, and within a row the output byte for pixel x lies at or before the first input
// byte of pixel x, so nothing is overwritten before it is read. The reduced-bit mode for 16-bit
// screens keeps 24 bits and cuts each channel to its top bits (6 for red, 5 for green and blue).
#include "imaging/Dither.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kClampBytes = 768;  // values -256..511
constexpr std::size_t kSpreadBytes = 2048;

enum { kUniform = 0, kTwoEntries = 1, kLookup = 2 };

// The error-spreading step of both passes: the pixel's slot in the current row (`here`: red,
// green, blue) is cleared for its next use as a row below, and its error goes 7/16 to the
// right and 3/16, 5/16, 1/16 to the slots below left, below (`below`) and below right, x16.
inline void SpreadError(std::int32_t* here, std::int32_t* below, std::int32_t dr, std::int32_t dg,
                        std::int32_t db) {
    here[0] = here[1] = here[2] = 0;
    std::int32_t* right = here + 3;
    right[0] += 7 * dr, right[1] += 7 * dg, right[2] += 7 * db;
    below[-3] += 3 * dr, below[-2] += 3 * dg, below[-1] += 3 * db;
    below[0] += 5 * dr, below[1] += 5 * dg, below[2] += 5 * db;
    below[3] += dr, below[4] += dg, below[5] += db;
}

// Parameters outside these ranges would divide by zero or build tables past any use.
bool SetupFits(const cColorCube* cube, bool uniform, std::int32_t red, std::int32_t green,
               std::int32_t blue) {
    if (uniform) return cube && red >= 2 && green >= 2 && blue >= 2 && red * green * blue <= 256;
    if (cube) return red >= 0 && green >= 0 && blue >= 0 && red <= 8 && green <= 8 && blue <= 8;
    return red == 0 && green == 0 && blue == 0;
}

}  // namespace

cDither::cDither() = default;

ErrorCode cDither::Setup(cColorCube* cube, bool uniform, std::int32_t red, std::int32_t green,
                         std::int32_t blue, std::int32_t spread) {
    FreeTables();
    if (!SetupFits(cube, uniform, red, green, blue)) return SetError(ERR_INVALID_FUNCTION);

    FCube = cube;
    FUniform = uniform;
    FRed = red;
    FGreen = green;
    FBlue = blue;
    FTotalBits = uniform ? 0 : red + green + blue;
    FCacheSize = std::int32_t(1) << FTotalBits;
    if (!cube) {
        // Reduced bits: red keeps six bits, green and blue five (a 5-6-5 screen).
        FRed = 0xFC;
        FGreen = 0xF8;
        FBlue = 0xF8;
    }

    if (uniform) {
        FRedStride = blue * green;
        FRedStep = 255 / (red - 1);
        FGreenStride = blue;
        FGreenStep = 255 / (green - 1);
        FBlueStep = 255 / (blue - 1);
    } else if (cube) {
        FRedShift = 8 - red;
        FRedPos = 0;
        FGreenShift = 8 - green;
        FGreenPos = red;
        FBlueShift = 8 - blue;
        FBluePos = red + green;
        FRedOffset = red <= 6 ? 1 << (6 - red) : 0;
        FGreenOffset = green <= 6 ? 1 << (6 - green) : 0;
        FBlueOffset = blue <= 6 ? 1 << (6 - blue) : 0;
    }

    // One block: clamp table, lookup cache, spread table (the spread table kept aligned).
    const std::size_t cacheBytes =
        uniform ? 0 : ((2 * std::size_t(FCacheSize) + 3) & ~std::size_t(3));
    const std::size_t bytes = kClampBytes + (uniform ? 0 : cacheBytes + kSpreadBytes);
    FTables.reset(static_cast<BYTE*>(std::malloc(bytes)));
    if (!FTables) return SetError(ERR_OUT_OF_MEMORY);

    FClamp = FTables.get() + 256;
    for (int i = -256; i < 512; ++i) FClamp[i] = BYTE(std::clamp(i, 0, 255));

    if (uniform) {
        FCache = nullptr;
        FSpread = nullptr;
        for (int i = 0; i < 256; ++i) FIndexMap[i] = i;
    } else {
        FCache = reinterpret_cast<std::int16_t*>(FTables.get() + kClampBytes);
        for (std::int32_t i = 0; i < FCacheSize; ++i) FCache[i] = -1;
        FSpread = reinterpret_cast<std::int32_t*>(FTables.get() + kClampBytes + cacheBytes) + 255;
        FillSpread(spread);
    }
    return SetError(0);
}

void cDither::FillSpread(std::int32_t spread) {
    if (spread <= 0) {
        for (int e = -255; e <= 255; ++e) FSpread[e] = 0;
        return;
    }
    // Errors up to 256 / 2^(spread-1) pass one for one; beyond, each further step of the output
    // needs twice as many steps of the error as the one before.
    FSpread[0] = 0;
    std::int32_t out = 1, step = 1, countdown = 1;
    const std::int32_t divisor = spread - 1 < 31 ? 256 / (1 << (spread - 1)) : 0;
    for (int e = 1; e <= 255; ++e) {
        FSpread[e] = out;
        FSpread[-e] = -out;
        if (--countdown == 0) {
            ++out;
            countdown = step;
        }
        if (step < 256 && divisor != 0 && e % divisor == 0) step *= 2;
    }
}

void cDither::FreeTables() {
    FTables.reset();
    FCache = nullptr;
    FSpread = nullptr;
    FClamp = nullptr;
}

template <int OutBits, int Mode>
ErrorCode cDither::IndexedPass(cBitmap& bitmap, std::int32_t* errorRows, DWORD newStride) {
    // Everything the inner loop reads is copied to locals: the output is written through byte
    // pointers, which may alias anything, and would otherwise force a reload of every member
    // after every pixel.
    cColorCube* const cube = FCube;
    const PALETTEENTRY* const entries = cube->Palette()->palPalEntry;
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    const std::size_t rowSlots = std::size_t(width + 2) * 3;
    const DWORD oldStride = bitmap.FStride;
    BYTE* const pixels = bitmap.FPixels;
    const BYTE* const clamp = FClamp;
    const std::int32_t* const spread = FSpread;
    std::int16_t* const cache = FCache;
    const std::int32_t* const indexMap = FIndexMap;
    const std::int32_t firstFree = cube->FirstFreeIndex();
    const std::int32_t redStep = FRedStep, greenStep = FGreenStep, blueStep = FBlueStep;
    const std::int32_t redStride = FRedStride, greenStride = FGreenStride;
    const std::int32_t redShift = FRedShift, greenShift = FGreenShift, blueShift = FBlueShift;
    const std::int32_t redPos = FRedPos, greenPos = FGreenPos, bluePos = FBluePos;
    const std::int32_t redOffset = FRedOffset, greenOffset = FGreenOffset, blueOffset = FBlueOffset;

    for (std::int32_t i = 0; i < height; ++i) {
        FProgress.store(i, std::memory_order_relaxed);
        if (IsCancelled() || bitmap.IsCancelled()) return ERR_CANCELLED;
        std::int32_t* current = errorRows + ((i & 1) ? rowSlots : 0);
        std::int32_t* next = errorRows + ((i & 1) ? 0 : rowSlots);
        const BYTE* in = pixels + std::size_t(i) * oldStride;
        BYTE* out = pixels + std::size_t(i) * newStride;
        for (std::int32_t x = 0; x < width; ++x, in += 3) {
            if (IsCancelled()) return ERR_CANCELLED;
            std::int32_t* here = current + 3 * (x + 1);
            std::int32_t vb, vg, vr;
            if (Mode == kUniform) {
                vb = clamp[in[0] + (here[2] >> 4)];
                vg = clamp[in[1] + (here[1] >> 4)];
                vr = clamp[in[2] + (here[0] >> 4)];
            } else {
                vb = clamp[in[0] + spread[here[2] >> 4]];
                vg = clamp[in[1] + spread[here[1] >> 4]];
                vr = clamp[in[2] + spread[here[0] >> 4]];
            }
            std::int32_t p;
            if (Mode == kUniform) {
                p = indexMap[(vr / redStep) * redStride + (vg / greenStep) * greenStride +
                             vb / blueStep + firstFree];
            } else if (Mode == kTwoEntries) {
                p = (vr + vg + vb) / 384;
            } else {
                const std::int32_t key = ((vr >> redShift) << redPos) |
                                         ((vg >> greenShift) << greenPos) |
                                         ((vb >> blueShift) << bluePos);
                p = cache[key];
                if (p < 0) {
                    p = cube->NearestIndex(BYTE(((vr >> redShift) << redShift) + redOffset),
                                           BYTE(((vg >> greenShift) << greenShift) + greenOffset),
                                           BYTE(((vb >> blueShift) << blueShift) + blueOffset));
                    cache[key] = std::int16_t(p);
                }
            }
            const PALETTEENTRY& e = entries[p];
            const std::int32_t dr = vr - e.peRed;
            const std::int32_t dg = vg - e.peGreen;
            const std::int32_t db = vb - e.peBlue;

            if (OutBits == 8) {
                out[x] = BYTE(p);
            } else if (OutBits == 4) {
                BYTE& o = out[x >> 1];
                o = (x & 1) ? BYTE((o & 0xF0) | (p & 0x0F)) : BYTE((o & 0x0F) | (p << 4));
            } else {
                BYTE& o = out[x >> 3];
                if ((x & 7) == 0) o = 0;
                o |= BYTE((p & 1) << (7 - (x & 7)));
            }

            SpreadError(here, next + 3 * (x + 1), dr, dg, db);
        }
    }
    return 0;
}

ErrorCode cDither::ReducedBitPass(cBitmap& bitmap) {
    const std::int32_t width = bitmap.Width();
    const std::int32_t height = bitmap.Height();
    FProgress = 0;
    FProgressTotal = height;
    const std::size_t rowSlots = std::size_t(width + 2) * 3;
    UniqueMemory<std::int32_t> errorRows(
        static_cast<std::int32_t*>(std::calloc(2 * rowSlots, sizeof(std::int32_t))));
    if (!errorRows) return ERR_OUT_OF_MEMORY;
    const BYTE* clamp = FClamp;
    const std::int32_t* spread = FSpread;
    const BYTE maskRed = BYTE(FRed), maskGreen = BYTE(FGreen), maskBlue = BYTE(FBlue);
    for (std::int32_t i = 0; i < height; ++i) {
        FProgress.store(i, std::memory_order_relaxed);
        if (IsCancelled() || bitmap.IsCancelled()) return ERR_CANCELLED;
        std::int32_t* current = errorRows.get() + ((i & 1) ? rowSlots : 0);
        std::int32_t* next = errorRows.get() + ((i & 1) ? 0 : rowSlots);
        BYTE* px = bitmap.Row(i);
        for (std::int32_t x = 0; x < width; ++x, px += 3) {
            std::int32_t* here = current + 3 * (x + 1);
            const std::int32_t vb = clamp[px[0] + spread[here[2] >> 4]];
            const std::int32_t vg = clamp[px[1] + spread[here[1] >> 4]];
            const std::int32_t vr = clamp[px[2] + spread[here[0] >> 4]];
            px[0] = BYTE(vb & maskBlue);
            px[1] = BYTE(vg & maskGreen);
            px[2] = BYTE(vr & maskRed);
            const std::int32_t dr = vr - px[2];
            const std::int32_t dg = vg - px[1];
            const std::int32_t db = vb - px[0];
            SpreadError(here, next + 3 * (x + 1), dr, dg, db);
        }
    }
    return 0;
}

// The pass built for this output depth and way of finding an entry.
ErrorCode cDither::IndexedPassFor(WORD outBits, int mode, cBitmap& bitmap, std::int32_t* errorRows,
                                  DWORD newStride) {
    switch (outBits * 4 + mode) {
        case 8 * 4 + kUniform:
            return IndexedPass<8, kUniform>(bitmap, errorRows, newStride);
        case 8 * 4 + kLookup:
            return IndexedPass<8, kLookup>(bitmap, errorRows, newStride);
        case 4 * 4 + kLookup:
            return IndexedPass<4, kLookup>(bitmap, errorRows, newStride);
        case 1 * 4 + kTwoEntries:
            return IndexedPass<1, kTwoEntries>(bitmap, errorRows, newStride);
        case 1 * 4 + kLookup:
            return IndexedPass<1, kLookup>(bitmap, errorRows, newStride);
        default:
            return ERR_INVALID_FUNCTION;  // uniform cubes have 256 entries
    }
}

ErrorCode cDither::DitherBitmap(cBitmap& bitmap) {
    if (bitmap.BitCount() != 24 || !bitmap.HasPixels()) return SetError(ERR_INVALID_FORMAT);
    if (!FTables) return SetError(ERR_INVALID_FUNCTION);
    if (!FCube) return SetError(ReducedBitPass(bitmap));

    const LOGPALETTE* palette = FCube->Palette();
    if (!palette || palette->palNumEntries == 0) return SetError(ERR_INVALID_FUNCTION);
    const std::int32_t entries = palette->palNumEntries;
    if (FUniform) {
        // The largest index the arithmetic can produce must name an entry.
        const std::int32_t highest = (255 / FRedStep) * FRedStride +
                                     (255 / FGreenStep) * FGreenStride + 255 / FBlueStep +
                                     FCube->FirstFreeIndex();
        if (FCube->FirstFreeIndex() < 0 || highest >= entries) {
            return SetError(ERR_INVALID_FUNCTION);
        }
    }

    FProgress = 0;
    FProgressTotal = bitmap.Height();
    const WORD outBits = entries > 16 ? 8 : entries >= 3 ? 4 : 1;
    const DWORD newStride = DWORD(cBitmap::RowStride(bitmap.Width(), outBits));
    const std::size_t rowSlots = std::size_t(bitmap.Width() + 2) * 3;
    UniqueMemory<std::int32_t> errorRows(
        static_cast<std::int32_t*>(std::calloc(2 * rowSlots, sizeof(std::int32_t))));
    if (!errorRows) return SetError(ERR_OUT_OF_MEMORY);

    const int mode = FUniform ? kUniform : entries == 2 ? kTwoEntries : kLookup;
    const ErrorCode code = IndexedPassFor(outBits, mode, bitmap, errorRows.get(), newStride);
    if (code != 0) return SetError(code);

    BITMAPINFOHEADER& header = bitmap.FHeader;
    header.biSizeImage = 0;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    header.biBitCount = outBits;
    bitmap.FStride = newStride;
    for (std::int32_t i = 0; i < entries; ++i) {
        const PALETTEENTRY& e = palette->palPalEntry[i];
        bitmap.FPalette[i] = {e.peBlue, e.peGreen, e.peRed, 0};
    }
    return SetError(0);
}

ErrorCode cDither::Resample(cBitmap& bitmap, std::int32_t width, std::int32_t height) {
    if (bitmap.BitCount() != 24 || !bitmap.HasPixels()) return SetError(ERR_INVALID_FORMAT);
    const std::int32_t sourceWidth = bitmap.Width();
    const std::int32_t sourceHeight = bitmap.Height();
    if (width == sourceWidth && height == sourceHeight) return SetError(0);
    if (width > kMaxWidth24) return SetError(ERR_INVALID_FORMAT);
    const DWORD stride = DWORD(cBitmap::RowStride(width, 24));
    HGLOBAL handle;
    BYTE* block;
    if (width <= 0 || height <= 0 ||
        !AllocatePixelBlock(std::uint64_t(stride) * DWORD(height), handle, block)) {
        return SetError(ERR_OUT_OF_MEMORY);
    }
    UniquePixelBlock owned(handle);
    FProgress = 0;
    FProgressTotal = height;

    std::vector<DWORD> columns;
    try {
        columns.resize(std::size_t(width));
    } catch (const std::bad_alloc&) {
        return SetError(ERR_OUT_OF_MEMORY);
    }
    NearestColumns(sourceWidth, width, columns.data());
    for (std::int32_t i = 0; i < height; ++i) {
        FProgress.store(i, std::memory_order_relaxed);
        if (IsCancelled()) return SetError(ERR_CANCELLED);
        SampleRow(bitmap.Row(NearestSource(sourceHeight, height, i)), columns.data(), width,
                  block + std::size_t(i) * stride);
    }
    bitmap.FreeBits();
    bitmap.FHeader.biWidth = width;
    bitmap.FHeader.biHeight = height;
    // The source's image size no longer describes these rows.
    bitmap.FHeader.biSizeImage = 0;
    bitmap.InstallBits(owned.Release(), block, stride);
    return SetError(0);
}
