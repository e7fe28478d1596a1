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
    UniqueLockedGlobal(handle).Reset();
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
        BYTE* out = dst;
        if (bits == 8) {
            for (std::int32_t x = 0; x < width; ++x, out += 3) {
                const RGBQUAD& c = FPalette[src[x]];
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
                const RGBQUAD& c = FPalette[(*in & mask) >> shift];
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

bool cBitmap::CheckHeader(const BITMAPINFOHEADER& header) {
    switch (header.biBitCount) {
        case 1:
        case 24:
            if (header.biCompression != BI_RGB) return false;
            break;
        case 4:
            if (header.biCompression != BI_RGB && header.biCompression != BI_RLE4) return false;
            break;
        case 8:
            if (header.biCompression != BI_RGB && header.biCompression != BI_RLE8) return false;
            break;
        default:
            return false;
    }
    if (header.biClrUsed > 256) return false;
    // Colours important can announce the table size too; the table has 256 entries.
    if (PaletteSize(header) > 256) return false;
    // Zero, negative (top-down) and over-wide sizes have no place in our bottom-up rows.
    if (header.biWidth <= 0 || header.biHeight <= 0) return false;
    if (!WidthFits(header.biWidth, header.biBitCount)) return false;
    return true;
}

namespace {

constexpr DWORD kReadSlice = 1u << 20;

// A short read of a header ends the load as a failure even when the file flags none.
template <class Source>
ErrorCode ShortReadCode(const Source& file) {
    return file.GetError() != 0 ? file.GetError() : ERR_END_OF_FILE;
}

// BMP data in memory, read as cFile reads a file: a read past the end returns what is left and
// flags ERR_END_OF_FILE when nothing was left at all.
class MemorySource {
public:
    MemorySource(const BYTE* data, std::size_t size) : FData(data), FSize(size) {}
    DWORD Read(void* buffer, DWORD count) {
        const std::size_t n = std::min<std::size_t>(count, FSize - FAt);
        if (n) std::memcpy(buffer, FData + FAt, n);
        FAt += n;
        FError = n == 0 ? ERR_END_OF_FILE : 0;
        return DWORD(n);
    }
    std::int32_t Seek(std::int32_t distance, DWORD origin) {
        const std::int64_t base = origin == FILE_END ? std::int64_t(FSize)
                                  : origin == FILE_CURRENT ? std::int64_t(FAt) : 0;
        const std::int64_t to = base + distance;
        FAt = std::size_t(std::clamp<std::int64_t>(to, 0, std::int64_t(FSize)));
        return std::int32_t(FAt);
    }
    std::int32_t Tell() const { return std::int32_t(FAt); }
    ErrorCode GetError() const { return FError; }

private:
    const BYTE* FData;
    std::size_t FSize;
    std::size_t FAt = 0;
    ErrorCode FError = 0;
};

}  // namespace

// Reads the file header and the info header. Writers that record colour-space information
// use a longer info header (108 or 124 bytes): its first 40 bytes are ours, the rest is
// skipped. Returns the pixel-data offset the file header gives, relative to `start`.
template <class Source>
ErrorCode cBitmap::ReadHeaders(Source& file, std::int64_t start, std::int64_t end,
                               std::uint32_t& dataOffset) {
    BYTE fileHeader[14];
    if (file.Read(fileHeader, sizeof(fileHeader)) != sizeof(fileHeader)) {
        return SetError(ShortReadCode(file));
    }
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return SetError(ERR_INVALID_FORMAT);
    std::memcpy(&dataOffset, fileHeader + 10, 4);

    if (file.Read(&FHeader, sizeof(FHeader)) != sizeof(FHeader)) {
        return SetError(ShortReadCode(file));
    }
    const DWORD headerSize = FHeader.biSize;
    if (headerSize < sizeof(FHeader) || start + 14 + std::int64_t(headerSize) > end) {
        return SetError(ERR_INVALID_FORMAT);
    }
    if (headerSize > sizeof(FHeader)) file.Seek(std::int32_t(start + 14 + headerSize), FILE_BEGIN);
    // GDI finds the colour table after biSize bytes: ours follows 40.
    FHeader.biSize = sizeof(FHeader);
    if (!CheckHeader(FHeader)) return SetError(ERR_INVALID_FORMAT);
    return SetError(0);
}

// Reads the pixel data: the rows, or the compressed data as far as the file holds it.
template <class Source>
ErrorCode cBitmap::ReadPixels(Source& file, std::int64_t available) {
    const std::uint64_t rows =
        std::uint64_t(RowStride(FHeader.biWidth, FHeader.biBitCount)) * DWORD(FHeader.biHeight);
    if (FHeader.biCompression == BI_RGB) {
        if (AllocateBits() != 0) return GetError();
        // Read in slices, so that a cancel takes effect within one. Writers that count the
        // padding after the last row in the image-size field get their rows read, no more.
        const DWORD size = DWORD(std::min<std::uint64_t>(ImageSize(), rows));
        DWORD got = 0;
        while (got < size) {
            if (IsCancelled()) return SetError(ERR_CANCELLED);
            const DWORD slice = std::min<DWORD>(size - got, kReadSlice);
            const DWORD read = file.Read(FPixels + got, slice);
            got += read;
            if (read < slice) break;
        }
        // A file that ends early, and rows beyond a short image-size field, show as colour 0
        // rather than as whatever the memory held before.
        if (got < rows) std::memset(FPixels + got, 0, std::size_t(rows - got));
        return SetError(0);
    }
    // RLE data can be longer than the rows it encodes (small absolute runs cost 2 bytes plus a
    // pad), so its block is sized for the data, but never past what the file holds: the
    // image-size field is the writer's word, not a measure of the file.
    const std::uint64_t size = std::min<std::uint64_t>(
        FHeader.biSizeImage, std::uint64_t(std::max<std::int64_t>(available, 0)));
    if (size < 2) return SetError(ERR_INVALID_FORMAT);
    HGLOBAL handle;
    BYTE* block;
    if (!AllocatePixelBlock(size, handle, block)) return SetError(ERR_OUT_OF_MEMORY);
    FBits = handle;
    FPixels = block;
    FStride = 0;
    // Only the bytes read are decoded.
    FBlockSize = file.Read(FPixels, DWORD(size));
    return SetError(0);
}

template <class Source>
ErrorCode cBitmap::ReadFrom(Source& file) {
    // The header is overwritten below; old pixels must not outlive the header that described
    // them.
    FreeBits();
    const std::int64_t start = file.Tell();
    const std::int64_t end = file.Seek(0, FILE_END);
    file.Seek(std::int32_t(start), FILE_BEGIN);
    std::uint32_t dataOffset = 0;
    if (ReadHeaders(file, start, end, dataOffset) != 0) return GetError();

    const DWORD entries = PaletteSize();
    if (entries > 0) {
        const DWORD bytes = entries * sizeof(RGBQUAD);
        if (file.Read(FPalette, bytes) != bytes) return SetError(ShortReadCode(file));
    }
    // Some writers leave a gap before the pixels; the file header says where they start. An
    // offset inside the headers or past the end is not believed: the pixels follow the table.
    const std::int64_t tableEnd = file.Tell();
    if (start + std::int64_t(dataOffset) > tableEnd && start + std::int64_t(dataOffset) < end) {
        file.Seek(std::int32_t(start + dataOffset), FILE_BEGIN);
    }
    if (ReadPixels(file, end - file.Tell()) == 0) Decompress();
    if (GetError() != 0) FreeBits();
    return GetError();
}

ErrorCode cBitmap::ReadBmp(cFile& file) { return ReadFrom(file); }

ErrorCode cBitmap::ReadBmpBytes(const BYTE* data, std::size_t size) {
    // Positions are 32-bit, as in a file the saver reads.
    if (size > std::size_t(INT32_MAX)) return SetError(ERR_INVALID_FORMAT);
    MemorySource source(data, size);
    return ReadFrom(source);
}

ErrorCode cBitmap::LoadBmp(const char* name, std::int32_t offset) {
    cFile file;
    if (file.Open(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE) != 0) {
        return CopyError(file);
    }
    file.Seek(offset, FILE_BEGIN);
    ReadBmp(file);
    file.Close();
    return GetError();
}

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
        if (n != 0) {  // encoded run
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
