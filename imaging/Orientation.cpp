#include "imaging/Orientation.h"

#include <cstring>

#include "support/Bytes.h"

namespace {

constexpr unsigned kOrientationTag = 0x0112;
constexpr unsigned kTypeShort = 3;

}  // namespace

int ExifOrientation(const std::uint8_t* data, std::size_t size) {
    // "Exif", two zero bytes, then a TIFF header: byte order, 42, offset of the first directory.
    static const std::uint8_t kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!data || size < sizeof(kSignature) + 8 || std::memcmp(data, kSignature, 6) != 0) return 1;
    ByteReader tiff({data + 6, size - 6});
    if (data[6] == 'M' && data[7] == 'M') {
        tiff.SetLittleEndian(false);
    } else if (data[6] != 'I' || data[7] != 'I') {
        return 1;
    }
    tiff.Skip(2);
    if (tiff.U16() != 42) return 1;
    tiff.Seek(tiff.U32());
    const unsigned entries = tiff.U16();
    for (unsigned i = 0; i < entries; ++i) {
        // Tag, type, count, then the value field, whose first two bytes hold one SHORT.
        const unsigned tag = tiff.U16(), type = tiff.U16();
        const std::uint32_t count = tiff.U32();
        const unsigned value = tiff.U16();
        tiff.Skip(2);
        if (tiff.Failed()) return 1;
        if (tag != kOrientationTag) continue;
        if (type != kTypeShort || count != 1) return 1;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

// The eight orientations, as TIFF numbers them by where the stored first row and column go:
// 1 upright, 2 mirrored left to right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored
// along the main diagonal, 6 to be turned a quarter clockwise, 7 mirrored along the other
// diagonal, 8 to be turned a quarter anticlockwise. Our rows run bottom-up, so for the four
// that swap rows and columns both mirror flags come out inverted against the top-down view.
PictureTurn TurnFor(int orientation) {
    switch (orientation) {
        case 2:
            return {false, true, false};
        case 3:
            return {false, true, true};
        case 4:
            return {false, false, true};
        case 5:
            return {true, true, true};
        case 6:
            return {true, true, false};
        case 7:
            return {true, false, false};
        case 8:
            return {true, false, true};
        default:
            return {};
    }
}

ErrorCode TurnBitmap(cBitmap& bitmap, const PictureTurn& turn) {
    if (turn.IsNone()) return 0;
    if (!bitmap.HasPixels() || bitmap.BitCount() != 24) return ERR_INVALID_FORMAT;
    const std::int32_t width = bitmap.Width(), height = bitmap.Height();
    const std::int32_t newWidth = turn.transposed ? height : width;
    const std::int32_t newHeight = turn.transposed ? width : height;
    if (newWidth > kMaxWidth24) return ERR_OUT_OF_MEMORY;
    const DWORD stride = DWORD(cBitmap::RowStride(newWidth, 24));
    HGLOBAL handle;
    BYTE* block;
    if (!AllocatePixelBlock(std::uint64_t(stride) * DWORD(newHeight), handle, block)) {
        return ERR_OUT_OF_MEMORY;
    }
    UniquePixelBlock owned(handle);
    // Each target row walks the source along a row (plain turns) or down a column (the
    // transposing ones), forwards or backwards.
    const std::int64_t sourceStride = bitmap.FStride;
    for (std::int32_t y = 0; y < newHeight; ++y) {
        if (bitmap.IsCancelled()) return ERR_CANCELLED;
        const BYTE* in;
        std::int64_t step;
        if (turn.transposed) {
            const std::int32_t u = turn.mirrorX ? width - 1 - y : y;
            in = bitmap.Row(turn.mirrorY ? height - 1 : 0) + 3 * std::size_t(u);
            step = turn.mirrorY ? -sourceStride : sourceStride;
        } else {
            const std::int32_t v = turn.mirrorY ? height - 1 - y : y;
            in = bitmap.Row(v) + (turn.mirrorX ? 3 * std::size_t(width - 1) : 0);
            step = turn.mirrorX ? -3 : 3;
        }
        BYTE* out = block + std::size_t(y) * stride;
        for (std::int32_t x = 0; x < newWidth; ++x, out += 3, in += step) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
    bitmap.FreeBits();
    bitmap.FHeader.biWidth = newWidth;
    bitmap.FHeader.biHeight = newHeight;
    bitmap.FHeader.biSizeImage = 0;
    bitmap.InstallBits(owned.Release(), block, stride);
    return 0;
}
