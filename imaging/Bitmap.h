// cBitmap: the one in-memory picture of the imaging code.
//
// A Windows device-independent bitmap: a 40-byte info header followed directly by a 256-entry
// colour table (together a BITMAPINFO that GDI takes unchanged), and bottom-up pixel rows in one
// block of movable global memory that stays locked while the bitmap holds it. Every decoder
// writes one, every preparation step reads or rewrites one, and the windows draw one.
//
// Like every c-class it never throws: operations store a code in the cError state and return it.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/BmpHeader.h"
#include "support/Error.h"
#include "support/File.h"
#include "support/Handles.h"

// Allocates `size` bytes of movable global memory and locks it. Returns false (nothing held)
// for a size of 0, a size above kMaxPixelBlock, or when the system refuses.
bool AllocatePixelBlock(std::uint64_t size, HGLOBAL& handle, BYTE*& pixels);
// Unlocks and frees a block from AllocatePixelBlock; a null handle is ignored.
void FreePixelBlock(HGLOBAL handle);
// Holds a new block until a bitmap takes it over (InstallBits of its Release()).
using UniquePixelBlock = UniqueAny<HGLOBAL, FreePixelBlock>;

// Bytes in pixel blocks now, and the most there have been since the last reset: how the
// benchmarks check that a picture never needs more than two blocks at a time.
std::uint64_t PixelBlockBytes();
std::uint64_t PeakPixelBlockBytes();
void ResetPeakPixelBlockBytes();

// Nearest-neighbour shrinking. Target index i of `target` takes source index (source x i) /
// target, truncated. The resampler and the fitted JPEG decode both go through these, so a
// picture decoded straight to its fitted size equals the full decode shrunk, byte for byte.
inline std::int32_t NearestSource(std::int32_t source, std::int32_t target, std::int32_t i) {
    return std::int32_t(std::int64_t(source) * i / target);
}
// Byte offsets, in a 24-bit source row `source` pixels wide, of the `target` columns.
void NearestColumns(std::int32_t source, std::int32_t target, DWORD* columns);
// Copies the pixels at those offsets of a 24-bit row into the `width` pixels of a target row.
void SampleRow(const BYTE* in, const DWORD* columns, std::int32_t width, BYTE* out);

class cBitmap : public cError {
public:
    cBitmap();

    void FreeBits();

    // Bytes per stored row, computed with 16-bit masks (hence the kMaxWidth* bounds).
    static std::int32_t RowStride(std::int32_t width, WORD bitCount);
    // Colour-table entries the header announces.
    static DWORD PaletteSize(const BITMAPINFOHEADER& header);
    DWORD PaletteSize() const { return PaletteSize(FHeader); }
    // Byte length of the pixel data the header announces.
    static DWORD ImageSize(const BITMAPINFOHEADER& header);
    DWORD ImageSize() const { return ImageSize(FHeader); }
    // True when the width fits the 16-bit stride rule at this bit count.
    static bool WidthFits(std::int32_t width, WORD bitCount);

    ErrorCode AllocateBits();
    ErrorCode IncreaseColorDepth();
#ifdef _WIN32
    bool Draw(HDC dc, std::int32_t x, std::int32_t y, DWORD rop) const;
#endif
    ErrorCode LoadBmp(const char* name, std::int32_t offset);
    ErrorCode ReadBmp(cFile& file);
    // ReadBmp on BMP data held in memory (a picture about to be stored, say).
    ErrorCode ReadBmpBytes(const BYTE* data, std::size_t size);
    // Reads what comes before the pixels (the headers and the colour table, checked as
    // ReadBmp checks them) and leaves the file, or `pixelsAt`, where the pixel data starts, as
    // ReadBmp would go on from there. No pixels are read: the slideshow streams uncompressed
    // rows itself rather than hold a large picture whole.
    ErrorCode ReadBmpLayout(cFile& file);
    ErrorCode ReadBmpLayoutBytes(const BYTE* data, std::size_t size, std::size_t& pixelsAt);
    // One stored row of this bitmap's 1, 4 or 8 bits as 24-bit pixels, through its colour table.
    void ExpandRow(const BYTE* row, BYTE* out) const;
    static bool CheckHeader(const BITMAPINFOHEADER& header);
    ErrorCode Decompress();
    ErrorCode DecodeRle8();
    ErrorCode DecodeRle4();

    bool HasPixels() const { return FPixels != nullptr; }
    std::int32_t Width() const { return FHeader.biWidth; }
    std::int32_t Height() const { return FHeader.biHeight; }
    WORD BitCount() const { return FHeader.biBitCount; }
    BYTE* Row(std::int32_t storedRow) const { return FPixels + std::size_t(storedRow) * FStride; }
    bool IsCancelled() const { return FCancel.load(std::memory_order_relaxed) != 0; }
    void SetCancel(std::int32_t value) { FCancel.store(value, std::memory_order_relaxed); }

    // Header and palette together, as GDI wants them.
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&FHeader); }

    // Installs a block as the bitmap's pixels (the previous block must already be gone).
    void InstallBits(HGLOBAL handle, BYTE* pixels, DWORD stride);

    BITMAPINFOHEADER FHeader;
    RGBQUAD FPalette[256];
    HGLOBAL FBits = nullptr;
    BYTE* FPixels = nullptr;
    DWORD FStride = 0;
    // Written by the window thread to stop a long operation on the loader thread.
    std::atomic<std::int32_t> FCancel{0};

private:
    // A source is a cFile or bytes in memory read the same way (Read, Seek, Tell, GetError).
    template <class Source>
    ErrorCode ReadFrom(Source& file);
    template <class Source>
    ErrorCode ReadLayout(Source& file, std::int64_t start, std::int64_t end);
    template <class Source>
    ErrorCode ReadHeaders(Source& file, std::int64_t start, std::int64_t end,
                          std::uint32_t& dataOffset);
    template <class Source>
    ErrorCode ReadPixels(Source& file, std::int64_t available);
    template <class Format>
    ErrorCode DecodeRle();

    // Size of the block allocated for the pixel data: the rows, or the compressed data when that
    // is longer.
    std::uint64_t FBlockSize = 0;
};
