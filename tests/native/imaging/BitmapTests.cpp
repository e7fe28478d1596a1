// cBitmap: the stride rule, header sizes, where pixel data is taken from, RLE expansion, and
// the conversion to 24 bits.
#include <gtest/gtest.h>

#include <cstring>

#include "TestFiles.h"
#include "imaging/Bitmap.h"

namespace {

std::vector<RGBQUAD> Grey(int n) {
    std::vector<RGBQUAD> p;
    for (int i = 0; i < n; ++i) p.push_back({BYTE(i * 3), BYTE(i * 5), BYTE(i * 7), 0});
    return p;
}

// A 4 x 2 RLE8 or RLE4 picture of grey levels with the given data.
BmpSpec RleBmp(WORD bits, const Bytes& data, std::uint32_t sizeImage) {
    return {.bitCount = bits,
            .compression = bits == 8 ? 1u : 2u,
            .sizeImage = sizeImage,
            .palette = Grey(bits == 8 ? 256 : 16),
            .pixels = data};
}

}  // namespace

TEST(BitmapLayout, RowStrideKeepsSixteenBits) {
    EXPECT_EQ(cBitmap::RowStride(1, 1), 4);
    EXPECT_EQ(cBitmap::RowStride(33, 1), 8);
    EXPECT_EQ(cBitmap::RowStride(9, 4), 8);
    EXPECT_EQ(cBitmap::RowStride(5, 8), 8);
    EXPECT_EQ(cBitmap::RowStride(3, 24), 12);
    EXPECT_EQ(cBitmap::RowStride(21844, 24), 65532);
    // One pixel more and the masked stride no longer holds the row: why wider is refused.
    EXPECT_LT(cBitmap::RowStride(21845, 24), 3 * 21845);
    EXPECT_EQ(cBitmap::RowStride(65532, 8), 65532);
    EXPECT_EQ(cBitmap::RowStride(65528, 4), 32764);
    EXPECT_EQ(cBitmap::RowStride(65504, 1), 8188);
}

TEST(BitmapRead, PixelDataFollowsTheColourTable) {
    // 24 bits, colours used 2: 8 bytes of table, then pixels from offset 62.
    BmpSpec s{.width = 1,
              .height = 1,
              .bitCount = 24,
              .clrUsed = 2,
              .palette = {{1, 2, 3, 0}, {4, 5, 6, 0}},
              .pixels = {10, 20, 30, 0}};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(b.FPixels[0], 10);
    EXPECT_EQ(b.FPixels[2], 30);
    EXPECT_EQ(b.FPalette[1].rgbRed, 6);
    b.FreeBits();

    // 8 bits, colours important 16: only 16 entries read; with an offset past the end of the
    // file the pixels are taken from 118, so a gap after the table is taken as pixel data.
    s = {};
    s.width = 4;
    s.height = 1;
    s.clrImportant = 16;
    s.palette = Grey(16);
    s.dataOffset = 2000;
    s.gap = {9, 8, 7, 6};
    s.pixels = {1, 1, 1, 1};
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(std::memcmp(b.FPixels, "\x09\x08\x07\x06", 4), 0);
    EXPECT_EQ(b.FPalette[16].rgbRed, 0);  // entries past the table keep their content
    b.FreeBits();
    // An offset past the table and inside the file says where the pixels start; one inside
    // the headers is not believed.
    for (const auto& [offset, first] : {std::pair{122u, 1}, {118u, 9}, {54u, 9}, {121u, 6}}) {
        s.dataOffset = offset;
        ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0) << offset;
        EXPECT_EQ(b.FPixels[0], first) << offset;
        b.FreeBits();
    }
}

TEST(BitmapRead, InfoHeadersOfEverySize) {
    // Longer headers (108, 124 bytes) are skipped past; their pixels and table are found.
    // Shorter ones, and one running past the file, are refused.
    const std::pair<std::uint32_t, ErrorCode> cases[] = {
        {12, ERR_INVALID_FORMAT},    {39, ERR_INVALID_FORMAT}, {40, 0}, {64, 0}, {108, 0}, {124, 0},
        {100000, ERR_INVALID_FORMAT}};
    for (const auto& [size, code] : cases) {
        BmpSpec s{.headerSize = size,
                  .width = 3,
                  .palette = Grey(256),
                  .pixels = {7, 5, 5, 0, 6, 6, 6, 0}};
        s.palette[7] = {1, 2, 3, 0};
        Bytes data = MakeBmp(s);
        if (size == 100000) data.resize(200);
        cBitmap b;
        ASSERT_EQ(ReadBmpBytes(b, data), code) << size;
        EXPECT_EQ(b.HasPixels(), code == 0) << size;
        if (code != 0) continue;
        EXPECT_EQ(b.FHeader.biSize, 40u) << size;  // GDI finds our table after 40 bytes
        EXPECT_EQ(b.FPalette[7].rgbRed, 3) << size;
        EXPECT_EQ(std::memcmp(b.FPixels, "\x07\x05\x05\x00\x06\x06\x06", 7), 0) << size;
        b.FreeBits();
    }
}

TEST(BitmapRead, RefusesWhatTheModelCannotHold) {
    struct Case {
        const char* what;
        WORD bits;
        DWORD compression;
        std::int32_t width, height;
        DWORD clrUsed, clrImportant;
    } cases[] = {
        {"16 bits", 16, 0, 4, 2, 0, 0},
        {"32 bits", 32, 0, 4, 2, 0, 0},
        {"0 bits", 0, 0, 4, 2, 0, 0},
        {"1-bit RLE", 1, 1, 4, 2, 0, 0},
        {"RLE8 at 4 bits", 4, 1, 4, 2, 0, 0},
        {"RLE4 at 8 bits", 8, 2, 4, 2, 0, 0},
        {"RLE at 24 bits", 24, 1, 4, 2, 0, 0},
        {"bitfields", 24, 3, 4, 2, 0, 0},
        {"colours used 257", 8, 0, 4, 2, 257, 0},
        {"colours important 300", 8, 0, 4, 2, 0, 300},
        {"zero width", 8, 0, 0, 2, 0, 0},
        {"negative width", 8, 0, -4, 2, 0, 0},
        {"zero height", 8, 0, 4, 0, 0, 0},
        {"top-down", 8, 0, 4, -2, 0, 0},
        {"top-down RLE", 8, 1, 4, -2, 0, 0},
        {"too wide at 24 bits", 24, 0, 21845, 1, 0, 0},
        {"too wide at 8 bits", 8, 0, 65533, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const BmpSpec s{.width = c.width,
                        .height = c.height,
                        .bitCount = c.bits,
                        .compression = c.compression,
                        .clrUsed = c.clrUsed,
                        .clrImportant = c.clrImportant,
                        .pixels = Bytes(64, 0)};
        cBitmap b;
        EXPECT_EQ(ReadBmpBytes(b, MakeBmp(s)), ERR_INVALID_FORMAT) << c.what;
        EXPECT_FALSE(b.HasPixels()) << c.what;
    }
    // The planes field is not examined.
    BmpSpec s{.planes = 7, .palette = Grey(256), .pixels = Bytes(8, 1)};
    cBitmap b;
    EXPECT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    b.FreeBits();
}

TEST(BitmapRead, ShortFilesEndWithEndOfFile) {
    BmpSpec s{.palette = Grey(256), .pixels = Bytes(8, 1)};
    const Bytes whole = MakeBmp(s);
    for (std::size_t cut : {0, 1, 13, 14, 20, 53, 54, 100, 54 + 1023}) {
        cBitmap b;
        const Bytes part(whole.begin(), whole.begin() + cut);
        EXPECT_EQ(ReadBmpBytes(b, part), ERR_END_OF_FILE) << cut;
        EXPECT_FALSE(b.HasPixels());
    }
    // Signature checked before anything else.
    Bytes wrong = whole;
    wrong[1] = 'A';
    cBitmap b;
    EXPECT_EQ(ReadBmpBytes(b, wrong), ERR_INVALID_FORMAT);

    // Pixel data that ends early leaves the rest as colour 0.
    Bytes shortPixels(whole.begin(), whole.end() - 3);
    ASSERT_EQ(ReadBmpBytes(b, shortPixels), 0);
    EXPECT_EQ(std::memcmp(b.FPixels, "\x01\x01\x01\x01\x01\x00\x00\x00", 8), 0);
    b.FreeBits();

    // An image-size field that counts padding after the rows: the rows are read, no more.
    s.sizeImage = 10;
    s.pixels.assign(10, 1);
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(Bytes(b.FPixels, b.FPixels + 8), Bytes(8, 1));
    b.FreeBits();
}

TEST(BitmapRead, LoadBmpFromAnOffsetAndMissingFiles) {
    const BmpSpec s{.width = 1, .height = 1, .bitCount = 24, .pixels = {1, 2, 3, 0}};
    Bytes data(37, 0xEE);
    const Bytes bmp = MakeBmp(s);
    data.insert(data.end(), bmp.begin(), bmp.end());
    TestFolder folder;
    const std::string path = folder.Write("x.bin", data);
    cBitmap b;
    ASSERT_EQ(b.LoadBmp(path.c_str(), 37), 0);
    EXPECT_EQ(b.FPixels[1], 2);
    b.FreeBits();
    cBitmap missing;
    EXPECT_EQ(missing.LoadBmp(folder.Path("none.bmp").c_str(), 0), ERROR_FILE_NOT_FOUND);
}

TEST(BitmapRle, Rle8WritesRunsAndLines) {
    BmpSpec s{
        .compression = 1, .sizeImage = 8, .palette = Grey(256), .pixels = {3, 7, 0, 0, 1, 9, 0, 1}};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(b.FHeader.biCompression, 0u);
    EXPECT_EQ(b.FHeader.biSizeImage, 0u);
    EXPECT_EQ(b.FStride, 4u);
    EXPECT_EQ(std::memcmp(b.FPixels, "\x07\x07\x07", 3), 0);
    EXPECT_EQ(b.FPixels[4], 9);
    // Bytes no command wrote are colour 0.
    EXPECT_EQ(b.FPixels[3], 0);
    EXPECT_EQ(b.FPixels[5], 0);
    b.FreeBits();

    // Absolute run with pad, delta, end of bitmap.
    s.pixels = {0, 3, 1, 2, 3, 0, 0, 2, 0, 1, 1, 5, 0, 1};
    s.sizeImage = std::uint32_t(s.pixels.size());
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(std::memcmp(b.FPixels, "\x01\x02\x03\x00", 4), 0) << "bottom row";
    EXPECT_EQ(b.FPixels[4 + 2], 0);
    EXPECT_EQ(b.FPixels[4 + 3], 5);
    b.FreeBits();
}

TEST(BitmapRle, Rle4AbsoluteRunsUseTheirPad) {
    // Three pixels from two data bytes, no pad: end of bitmap read at offset 4.
    BmpSpec s{.width = 8,
              .height = 1,
              .bitCount = 4,
              .compression = 2,
              .sizeImage = 6,
              .palette = Grey(16),
              .pixels = {0, 3, 0x12, 0x30, 0, 1}};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(b.FPixels[0], 0x12);
    EXPECT_EQ(b.FPixels[1], 0x30);
    b.FreeBits();
    // Five pixels from three data bytes and a pad: the next command starts at offset 6.
    s.pixels = {0, 5, 0x12, 0x34, 0x50, 0xEE, 2, 0x67, 0, 1};
    s.sizeImage = 10;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    EXPECT_EQ(b.FPixels[0], 0x12);
    EXPECT_EQ(b.FPixels[1], 0x34);
    EXPECT_EQ(b.FPixels[2], 0x56);  // low half of an odd pixel replaces only the low bits
    EXPECT_EQ(b.FPixels[3], 0x70);
    b.FreeBits();
}

TEST(BitmapRle, BrokenStreamsFailCleanly) {
    struct Case {
        const char* what;
        WORD bits;
        Bytes data;
        std::uint32_t sizeImage;
    } cases[] = {
        {"no end of bitmap", 8, {2, 1, 0, 0}, 4},
        {"image size 0", 8, {2, 1, 0, 1}, 0},
        {"run past the block", 8, {9, 1, 0, 1}, 4},
        {"run past the row into the next is fine, past the top is not", 8, {5, 1, 4, 1, 0, 1}, 6},
        {"delta past the top", 8, {0, 2, 0, 2, 1, 1, 0, 1}, 8},
        {"delta past the row end", 8, {0, 2, 200, 0, 1, 1, 0, 1}, 8},
        {"absolute run past the block", 8, {0, 2, 1, 1, 0, 4, 1, 2, 3, 4, 0, 1}, 12},
        {"absolute run short of data", 8, {0, 9, 1, 2}, 4},
        {"delta short of data", 8, {0, 2, 1}, 3},
        {"lone byte", 8, {3}, 1},
        {"rle4 run past the block", 4, {17, 0x11, 0, 1}, 4},
        {"rle4 absolute short of data", 4, {0, 7, 0x12}, 3},
        {"rle4 delta past the top", 4, {0, 2, 0, 9, 1, 1, 0, 1}, 8},
    };
    for (const Case& c : cases) {
        cBitmap b;
        EXPECT_EQ(ReadBmpBytes(b, MakeBmp(RleBmp(c.bits, c.data, c.sizeImage))), ERR_INVALID_FORMAT)
            << c.what;
        EXPECT_FALSE(b.HasPixels()) << c.what;
    }
}

TEST(BitmapRle, TruncatedDataDecodesOnlyWhatWasRead) {
    // Image-size fields far past the bytes present. Ending with the end of bitmap, the picture
    // decodes with the pixels no command wrote at colour 0, also after commands that move past
    // the last row and write nothing; with the input used up before it, the read fails. The same
    // every time, whatever the memory held before: a freed block of end-of-bitmap commands waits
    // there.
    struct Case {
        const char* what;
        WORD bits;
        Bytes data;
        ErrorCode code;
        Bytes pixels;  // the 4 x 2 block, bottom row first
    } cases[] = {
        {"rle8 ends", 8, {2, 5, 0, 0, 1, 6, 0, 1}, 0, {5, 5, 0, 0, 6, 0, 0, 0}},
        {"rle8 short", 8, {2, 5, 0, 0, 1, 6}, ERR_INVALID_FORMAT, {}},
        {"rle8 past the top", 8, {2, 5, 0, 0, 1, 6, 0, 0, 0, 0}, ERR_INVALID_FORMAT, {}},
        {"rle8 line end and delta past the top",
         8,
         {2, 5, 0, 0, 1, 6, 0, 0, 0, 2, 1, 1, 0, 1},
         0,
         {5, 5, 0, 0, 6, 0, 0, 0}},
        {"rle4 ends",
         4,
         {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1},
         0,
         {0x12, 0x10, 0, 0, 0x45, 0x60, 0, 0}},
        {"rle4 short", 4, {3, 0x12, 0, 0, 0, 3, 0x45, 0x60}, ERR_INVALID_FORMAT, {}},
        {"rle4 past the top", 4, {0, 0, 0, 0, 0, 0, 0, 0}, ERR_INVALID_FORMAT, {}},
        {"rle4 line end past the top",
         4,
         {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 0, 0, 1},
         0,
         {0x12, 0x10, 0, 0, 0x45, 0x60, 0, 0}},
    };
    for (const Case& c : cases) {
        const Bytes file = MakeBmp(RleBmp(c.bits, c.data, 4096));
        for (int run = 0; run < 3; ++run) {
            HGLOBAL stale;
            BYTE* bytes;
            ASSERT_TRUE(AllocatePixelBlock(4096, stale, bytes));
            for (int i = 0; i < 4096; i += 2) bytes[i] = 0, bytes[i + 1] = 1;
            FreePixelBlock(stale);
            cBitmap b;
            ASSERT_EQ(ReadBmpBytes(b, file), c.code) << c.what << " run " << run;
            ASSERT_EQ(b.HasPixels(), c.code == 0) << c.what;
            if (c.code == 0) {
                EXPECT_EQ(Bytes(b.FPixels, b.FPixels + 8), c.pixels) << c.what;
            }
            b.FreeBits();
        }
    }

    // Found by fuzzing: 271 bytes announcing 1,023,410,202 bytes of RLE4 data for a picture
    // 20,702 wide, all end-of-line commands. The input block is sized by the file, and the
    // decode ends when its input does.
    BmpSpec s = RleBmp(4, Bytes(271 - 54 - 64, 0), 1023410202);
    s.width = 20702;
    s.height = 59;
    const Bytes file = MakeBmp(s);
    ASSERT_EQ(file.size(), 271u);
    ResetPeakPixelBlockBytes();
    const std::uint64_t before = PixelBlockBytes();
    cBitmap b;
    EXPECT_EQ(ReadBmpBytes(b, file), ERR_INVALID_FORMAT);
    EXPECT_LT(PeakPixelBlockBytes() - before, 1u << 20);
}

TEST(BitmapRle, CancelStopsExpansion) {
    const BmpSpec s{.compression = 1, .sizeImage = 4, .palette = Grey(256), .pixels = {3, 7, 0, 1}};
    cBitmap b;
    b.SetCancel(1);
    EXPECT_EQ(ReadBmpBytes(b, MakeBmp(s)), ERR_CANCELLED);
    EXPECT_FALSE(b.HasPixels());
}

TEST(BitmapDepth, IncreaseColorDepthMapsThroughThePalette) {
    const BmpSpec s{.width = 3,
                    .bitCount = 4,
                    .palette = Grey(16),
                    .pixels = {0x1F, 0x20, 0, 0, 0xAB, 0xC0, 0, 0}};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    ASSERT_EQ(b.IncreaseColorDepth(), 0);
    EXPECT_EQ(b.BitCount(), 24);
    EXPECT_EQ(b.FStride, 12u);
    EXPECT_EQ(b.FHeader.biClrUsed, 0u);
    // Pixel 0 is entry 1, pixel 1 entry 15, pixel 2 entry 2; colours are stored blue first.
    EXPECT_EQ(b.FPixels[0], 3);  // entry 1 is blue 3, green 5, red 7
    EXPECT_EQ(b.FPixels[1], 5);
    EXPECT_EQ(b.FPixels[2], 7);
    EXPECT_EQ(b.FPixels[3], 45);  // entry 15
    EXPECT_EQ(b.FPixels[6], 6);   // entry 2
    EXPECT_EQ(b.Row(1)[0], 30);   // entry 10
    const BYTE* before = b.FPixels;
    EXPECT_EQ(b.IncreaseColorDepth(), 0);  // 24 bits: unchanged
    EXPECT_EQ(b.FPixels, before);
    b.FreeBits();
}

TEST(BitmapDepth, CancelledOrTooWideConversionLeavesThePicture) {
    const BmpSpec s{
        .width = 9, .bitCount = 1, .palette = Grey(2), .pixels = {0xAA, 0x80, 0, 0, 0x55, 0, 0, 0}};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    b.SetCancel(1);
    EXPECT_EQ(b.IncreaseColorDepth(), ERR_CANCELLED);
    EXPECT_EQ(b.BitCount(), 1);
    EXPECT_EQ(b.FPixels[0], 0xAA);
    b.SetCancel(0);
    ASSERT_EQ(b.IncreaseColorDepth(), 0);
    // 1 bit: most significant bit first.
    EXPECT_EQ(b.FPixels[0], 3);  // entry 1 blue
    EXPECT_EQ(b.FPixels[3], 0);
    EXPECT_EQ(b.FPixels[24], 3);  // ninth pixel from the second byte's top bit
    b.FreeBits();

    const BmpSpec wide{
        .width = 30000, .height = 1, .palette = Grey(256), .pixels = Bytes(30000, 2)};
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(wide)), 0);
    EXPECT_EQ(b.IncreaseColorDepth(), ERR_OUT_OF_MEMORY);
    EXPECT_EQ(b.BitCount(), 8);
    b.FreeBits();
}

TEST(BitmapRead, ReusedBitmapKeepsNoStaleRows) {
    BmpSpec s{.width = 2, .palette = Grey(256), .pixels = Bytes(8, 1)};
    cBitmap b;
    ASSERT_EQ(ReadBmpBytes(b, MakeBmp(s)), 0);
    // A second load into the same bitmap whose pixel data is missing: the old 2 x 2 rows must
    // not stay behind under a 100 x 100 header.
    s.width = 100;
    s.height = 100;
    Bytes header = MakeBmp(s);
    header.resize(54 + 1024 - 1);
    EXPECT_EQ(ReadBmpBytes(b, header), ERR_END_OF_FILE);
    EXPECT_FALSE(b.HasPixels());
}
