#include "TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/Bytes.h"
#include "support/File.h"

Bytes MakeBmp(const BmpSpec& spec) {
    Bytes out;
    const std::uint32_t tableBytes = std::uint32_t(spec.palette.size() * 4);
    const std::uint32_t extra = spec.headerSize > 40 ? spec.headerSize - 40 : 0;
    const std::uint32_t tableStart = 54 + extra;
    const std::uint32_t offset = spec.dataOffset
                                     ? spec.dataOffset
                                     : tableStart + tableBytes + std::uint32_t(spec.gap.size());
    out.push_back('B');
    out.push_back('M');
    AppendLe32(out, std::uint32_t(tableStart + tableBytes + spec.gap.size() + spec.pixels.size()));
    AppendLe32(out, 0);
    AppendLe32(out, offset);
    AppendLe32(out, spec.headerSize);
    AppendLe32(out, std::uint32_t(spec.width));
    AppendLe32(out, std::uint32_t(spec.height));
    AppendLe16(out, spec.planes);
    AppendLe16(out, spec.bitCount);
    AppendLe32(out, spec.compression);
    AppendLe32(out, spec.sizeImage);
    AppendLe32(out, 2835);
    AppendLe32(out, 2835);
    AppendLe32(out, spec.clrUsed);
    AppendLe32(out, spec.clrImportant);
    out.insert(out.end(), extra, 0);
    for (const RGBQUAD& q : spec.palette) {
        out.push_back(q.rgbBlue);
        out.push_back(q.rgbGreen);
        out.push_back(q.rgbRed);
        out.push_back(q.rgbReserved);
    }
    out.insert(out.end(), spec.gap.begin(), spec.gap.end());
    out.insert(out.end(), spec.pixels.begin(), spec.pixels.end());
    return out;
}

void Make24(cBitmap& b, std::int32_t w, std::int32_t h) {
    b.FHeader = {};
    b.FHeader.biSize = 40;
    b.FHeader.biWidth = w;
    b.FHeader.biHeight = h;
    b.FHeader.biPlanes = 1;
    b.FHeader.biBitCount = 24;
    ASSERT_EQ(b.AllocateBits(), 0);
    std::memset(b.FPixels, 0, std::size_t(b.FStride) * h);
}

ErrorCode ReadBmpBytes(cBitmap& bitmap, const Bytes& bytes) {
    TestFolder folder;
    const std::string path = folder.Write("data.bmp", bytes);
    cFile file;
    if (file.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ) != 0) {
        ADD_FAILURE() << "cannot open " << path;
        return file.GetError();
    }
    const ErrorCode code = bitmap.ReadBmp(file);
    file.Close();
    return code;
}

std::string PicturePath(const std::string& name) {
    // Appended in place: GCC 12 at -O1 warns falsely about `std::string(...) + "/" + name`.
    std::string path = IMAGING_PICTURES;
    path += '/';
    return path += name;
}

Bytes ReadAll(const std::string& path) { return ReadWholeFile<Bytes>(path); }

Bytes TopDownRgb(const cBitmap& bitmap) {
    Bytes out;
    const std::int32_t w = bitmap.Width();
    const std::int32_t h = bitmap.Height();
    const WORD bits = bitmap.BitCount();
    out.reserve(std::size_t(w) * h * 3);
    for (std::int32_t y = h - 1; y >= 0; --y) {
        const BYTE* row = bitmap.Row(y);
        for (std::int32_t x = 0; x < w; ++x) {
            if (bits == 24) {
                out.push_back(row[3 * x + 2]);
                out.push_back(row[3 * x + 1]);
                out.push_back(row[3 * x]);
                continue;
            }
            unsigned index;
            if (bits == 8)
                index = row[x];
            else if (bits == 4)
                index = (x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
            else
                index = (row[x / 8] >> (7 - (x & 7))) & 1;
            const RGBQUAD& c = bitmap.FPalette[index];
            out.push_back(c.rgbRed);
            out.push_back(c.rgbGreen);
            out.push_back(c.rgbBlue);
        }
    }
    return out;
}
