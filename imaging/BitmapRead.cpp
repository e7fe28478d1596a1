// Reading a BMP: its headers checked, then its palette and pixels read from an open file, from a
// file at an offset (a picture in the saver's own file) or from a block in memory.
#include "imaging/Bitmap.h"

#include <algorithm>
#include <cstring>

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
        const std::int64_t base = origin == FILE_END       ? std::int64_t(FSize)
                                  : origin == FILE_CURRENT ? std::int64_t(FAt)
                                                           : 0;
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
    BYTE head[kBmpHeadersSize];
    if (file.Read(head, kBmpFileHeaderSize) != kBmpFileHeaderSize) {
        return SetError(ShortReadCode(file));
    }
    if (!IsBmp(head, kBmpFileHeaderSize)) return SetError(ERR_INVALID_FORMAT);
    const DWORD infoSize = kBmpHeadersSize - kBmpFileHeaderSize;
    if (file.Read(head + kBmpFileHeaderSize, infoSize) != infoSize) {
        return SetError(ShortReadCode(file));
    }
    BmpHeaders headers;
    ParseBmpHeaders(head, sizeof(head), headers);
    dataOffset = headers.DataOffset;
    FHeader = headers.Info;
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

// Reads the headers and the colour table and goes to the pixel data.
template <class Source>
ErrorCode cBitmap::ReadLayout(Source& file, std::int64_t start, std::int64_t end) {
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
    if (ReadLayout(file, start, end) != 0) return GetError();
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

ErrorCode cBitmap::ReadBmpLayout(cFile& file) {
    FreeBits();
    const std::int64_t start = file.Tell();
    const std::int64_t end = file.Seek(0, FILE_END);
    file.Seek(std::int32_t(start), FILE_BEGIN);
    return ReadLayout(file, start, end);
}

ErrorCode cBitmap::ReadBmpLayoutBytes(const BYTE* data, std::size_t size, std::size_t& pixelsAt) {
    FreeBits();
    if (size > std::size_t(INT32_MAX)) return SetError(ERR_INVALID_FORMAT);
    MemorySource source(data, size);
    if (ReadLayout(source, 0, std::int64_t(size)) == 0) pixelsAt = std::size_t(source.Tell());
    return GetError();
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
