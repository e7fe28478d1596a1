// Damaged and hostile BMP data: every truncation and a spread of field and byte mutations of
// real files. Each must end in a clean error without pixels or in a clean picture; run under
// the sanitizers this also proves no read or write leaves its block.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "imaging/Bitmap.h"

namespace {

// Reads each variant through the same file; checks the outcome's invariants.
void ExpectClean(const Bytes& data, const std::string& what) {
    static TestFolder folder;  // one file, rewritten for every variant
    const std::string path = folder.Write("variant.bmp", data);
    cBitmap b;
    const ErrorCode code = b.LoadBmp(path.c_str(), 0);
    if (code == 0) {
        ASSERT_TRUE(b.HasPixels()) << what;
        ASSERT_EQ(b.FHeader.biCompression, 0u) << what;
        ASSERT_GE(b.Width(), 1) << what;
        ASSERT_GE(b.Height(), 1) << what;
        // Touch every row through the conversion the picture would go through next.
        const ErrorCode depth = b.IncreaseColorDepth();
        ASSERT_TRUE(depth == 0 || depth == ERR_OUT_OF_MEMORY) << what;
        b.FreeBits();
    } else {
        ASSERT_FALSE(b.HasPixels()) << what << " code " << code;
    }
}

Bytes Rle4Sample() {
    BmpSpec s{.width = 7, .height = 3, .bitCount = 4, .compression = 2};
    for (int i = 0; i < 16; ++i) s.palette.push_back({BYTE(i * 16), BYTE(i), BYTE(255 - i), 0});
    s.pixels = {4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 1, 0, 3, 0xAB, 0, 0, 0, 5, 1, 2, 3, 0, 0, 1};
    s.sizeImage = std::uint32_t(s.pixels.size());
    return MakeBmp(s);
}

}  // namespace

TEST(BmpHostile, EveryTruncationEndsCleanly) {
    {
        cBitmap whole;
        ASSERT_EQ(ReadBmpBytes(whole, Rle4Sample()), 0);
        EXPECT_EQ(whole.Row(0)[2], 0x34);  // the absolute run of three after a run of four
        EXPECT_EQ(whole.Row(2)[1], 0x02);  // the absolute run of five on the top row
        whole.FreeBits();
    }
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"rle8", ReadAll(PicturePath("thinrle8.bmp"))},
        {"rle8c5", ReadAll(PicturePath("srcrle8c5.bmp"))},
        {"rle4", Rle4Sample()},
        {"bits1", ReadAll(PicturePath("thin1.bmp"))},
    };
    for (const auto& [name, data] : files) {
        ASSERT_FALSE(data.empty()) << name;
        // Long files: every cut through the headers, then a spread through the pixels.
        for (std::size_t cut = 0; cut < data.size();
             cut += (cut < 70 || cut + 64 > data.size() ? 1 : 13)) {
            ExpectClean(Bytes(data.begin(), data.begin() + cut),
                        name + " cut " + std::to_string(cut));
        }
    }
}

TEST(BmpHostile, MutatedFieldsAndBytesEndCleanly) {
    const Bytes bases[] = {ReadAll(PicturePath("srcrle8c5.bmp")), Rle4Sample(),
                           ReadAll(PicturePath("thin24.bmp"))};
    const std::uint32_t values[] = {
        0,  1,   2,   3,   4,      7,      8,       15,         16,          24,
        32, 255, 256, 257, 0x7FFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
    // Header fields: width, height, planes+bits, compression, image size, colours used and
    // important.
    const std::size_t fields[] = {18, 22, 26, 28, 30, 34, 46, 50};
    int variant = 0;
    for (const Bytes& base : bases) {
        ASSERT_GT(base.size(), 54u);
        for (std::size_t at : fields) {
            for (std::uint32_t v : values) {
                Bytes d = base;
                for (int i = 0; i < 4 && at + i < 54; ++i) d[at + i] = BYTE(v >> (8 * i));
                ExpectClean(d, "field " + std::to_string(at) + "=" + std::to_string(v));
            }
        }
        // RLE commands: every byte of the data set to the values that change its meaning.
        const std::size_t dataStart = base.size() > 200 ? base.size() - 120 : 54 + 64;
        for (std::size_t at = dataStart; at < base.size(); ++at) {
            for (BYTE v : {BYTE(0), BYTE(1), BYTE(2), BYTE(3), BYTE(0x80), BYTE(0xFF)}) {
                Bytes d = base;
                d[at] = v;
                ExpectClean(d, "byte " + std::to_string(at) + "=" + std::to_string(v) + " #" +
                                   std::to_string(variant++));
            }
        }
    }
}
