// Our decodes against independent ones: BMPs written by ImageMagick, JPEGs written by cjpeg,
// each compared pixel for pixel with ImageMagick's and djpeg's decodes of the same file.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestFiles.h"
#include "imaging/JpegFile.h"

namespace {

void ExpectSamePixels(const Bytes& ours, const Bytes& theirs, const std::string& what,
                      int tolerance = 0) {
    ASSERT_FALSE(theirs.empty()) << what << ": reference missing";
    ASSERT_EQ(ours.size(), theirs.size()) << what;
    std::size_t differ = 0, first = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (std::abs(int(ours[i]) - int(theirs[i])) > tolerance) {
            if (differ++ == 0) first = i;
        }
    }
    EXPECT_EQ(differ, 0u) << what << ": first difference at byte " << first << " ("
                          << int(ours[first]) << " vs " << int(theirs[first]) << ")";
}

}  // namespace

TEST(ReferenceDecode, BmpsFromImageMagick) {
    const char* names[] = {"src24",   "src8",      "src8c5",     "src4",      "src1",
                           "srcrle8", "srcrle8c5", "even24",     "even8",     "even4",
                           "even1",   "evenrle8",  "evenrle8c5", "thin24",    "thin8",
                           "thin4",   "thin1",     "thinrle8",   "thinrle8c5"};
    for (const char* name : names) {
        cBitmap b;
        ASSERT_EQ(b.LoadBmp(PicturePath(std::string(name) + ".bmp").c_str(), 0), 0) << name;
        ExpectSamePixels(TopDownRgb(b), ReadAll(PicturePath(std::string(name) + ".rgb")), name);
        // The 24-bit conversion shows the same picture.
        ASSERT_EQ(b.IncreaseColorDepth(), 0) << name;
        ExpectSamePixels(TopDownRgb(b), ReadAll(PicturePath(std::string(name) + ".rgb")),
                         std::string(name) + " at 24 bits");
        b.FreeBits();
    }
    // Longer info headers (v4, v5) read as the 40-byte kind of the same picture does.
    for (const char* name : {"src24", "src8", "src4", "src1", "srcrle8"}) {
        cBitmap v5, v3;
        ASSERT_EQ(v5.LoadBmp(PicturePath(std::string(name) + "v5.bmp").c_str(), 0), 0) << name;
        ASSERT_EQ(v3.LoadBmp(PicturePath(std::string(name) + ".bmp").c_str(), 0), 0) << name;
        EXPECT_EQ(v5.FHeader.biSize, 40u) << name;
        EXPECT_EQ(v5.BitCount(), v3.BitCount()) << name;
        ExpectSamePixels(TopDownRgb(v5), TopDownRgb(v3), std::string(name) + " v5");
        v5.FreeBits();
        v3.FreeBits();
    }
}

TEST(ReferenceDecode, JpegsFromCjpeg) {
    const char* names[] = {"c420", "c444", "c422", "grey", "prog", "restart", "thin"};
    for (const char* name : names) {
        cBitmap b;
        ASSERT_EQ(LoadJpeg(b, PicturePath(std::string(name) + ".jpg").c_str(), 0), 0) << name;
        EXPECT_EQ(b.BitCount(), 24);
        EXPECT_EQ(b.FStride, DWORD(cBitmap::RowStride(b.Width(), 24)));
        const Bytes ours = TopDownRgb(b);
        ExpectSamePixels(ours, ReadAll(PicturePath(std::string(name) + ".djpeg.rgb")),
                         std::string(name) + " vs djpeg");
        ExpectSamePixels(ours, ReadAll(PicturePath(std::string(name) + ".magick.rgb")),
                         std::string(name) + " vs ImageMagick");
        b.FreeBits();
    }
}

TEST(ReferenceDecode, GreyJpegHasEqualChannelsAndCmykIsConverted) {
    cBitmap b;
    ASSERT_EQ(LoadJpeg(b, PicturePath("grey.jpg").c_str(), 0), 0);
    const BYTE* p = b.Row(0);
    for (int x = 0; x < b.Width(); ++x) {
        ASSERT_EQ(p[3 * x], p[3 * x + 1]);
        ASSERT_EQ(p[3 * x], p[3 * x + 2]);
    }
    b.FreeBits();

    // Adobe's inverted CMYK: ImageMagick converts it back with its own rounding.
    ASSERT_EQ(LoadJpeg(b, PicturePath("cmyk.jpeg").c_str(), 0), 0);
    ExpectSamePixels(TopDownRgb(b), ReadAll(PicturePath("cmyk.magick.rgb")), "cmyk", 2);
    b.FreeBits();
}

TEST(ReferenceDecode, JpegFailuresAndOffsets) {
    TestFolder folder;
    cBitmap b;
    EXPECT_EQ(LoadJpeg(b, folder.Path("missing.jpg").c_str(), 0), ERR_OPEN_FAILED);
    EXPECT_FALSE(b.HasPixels());
    // BMP data is not JPEG data.
    EXPECT_EQ(LoadJpeg(b, PicturePath("thin24.bmp").c_str(), 0), ERR_INVALID_FORMAT);
    EXPECT_FALSE(b.HasPixels());

    // Data at an offset inside a bigger file.
    Bytes data(1234, 0x55);
    const Bytes jpeg = ReadAll(PicturePath("c420.jpg"));
    data.insert(data.end(), jpeg.begin(), jpeg.end());
    const std::string path = folder.Write("inside.bin", data);
    ASSERT_EQ(LoadJpeg(b, path.c_str(), 1234), 0);
    ExpectSamePixels(TopDownRgb(b), ReadAll(PicturePath("c420.djpeg.rgb")), "at offset");
    b.FreeBits();

    // A truncated file is completed by the library's own rules, not refused: as djpeg does.
    ASSERT_EQ(LoadJpeg(b, PicturePath("half.jpg.part").c_str(), 0), 0);
    EXPECT_EQ(b.Width(), 67);
    EXPECT_EQ(b.Height(), 45);
    ExpectSamePixels(TopDownRgb(b), ReadAll(PicturePath("half.djpeg.rgb")), "half");
    b.FreeBits();

    // A cancel request before the first scanline: no pixels.
    b.SetCancel(1);
    EXPECT_EQ(LoadJpeg(b, PicturePath("c420.jpg").c_str(), 0), ERR_CANCELLED);
    EXPECT_FALSE(b.HasPixels());
    EXPECT_EQ(b.BitCount(), 24);
}

TEST(ReferenceDecode, JpegWiderThanTheStrideRuleIsRefused) {
    // A header announcing 30000 x 8 pixels; the scan data never matters.
    Bytes jpeg = ReadAll(PicturePath("c444.jpg"));
    ASSERT_GT(jpeg.size(), 200u);
    bool patched = false;
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1)) {
            jpeg[i + 5] = 0;  // height 8
            jpeg[i + 6] = 8;
            jpeg[i + 7] = 30000 >> 8;
            jpeg[i + 8] = 30000 & 0xFF;
            patched = true;
            break;
        }
    }
    ASSERT_TRUE(patched);
    TestFolder folder;
    cBitmap b;
    EXPECT_EQ(LoadJpeg(b, folder.Write("wide.jpg", jpeg).c_str(), 0), ERR_INVALID_FORMAT);
    EXPECT_FALSE(b.HasPixels());

    // 8 x 30000 stored, but a phone's portrait: upright it is as wide, fitted or not.
    Bytes turned = ReadAll(PicturePath("exif6II.jpg"));
    for (std::size_t i = 2; i + 9 < turned.size(); ++i) {
        if (turned[i] == 0xFF && turned[i + 1] == 0xC0) {
            turned[i + 5] = 30000 >> 8;
            turned[i + 6] = 30000 & 0xFF;
            turned[i + 7] = 0;
            turned[i + 8] = 8;
            break;
        }
    }
    EXPECT_EQ(LoadJpegBytes(b, turned.data(), turned.size()), ERR_INVALID_FORMAT);
    EXPECT_EQ(LoadJpegBytes(b, turned.data(), turned.size(), 152, 112), ERR_INVALID_FORMAT);
    EXPECT_FALSE(b.HasPixels());
}

TEST(ReferenceDecode, ProgressiveJpegWithEndlessScansIsStopped) {
    // Repeat one refinement scan of a progressive file far past any real picture's count.
    const Bytes jpeg = ReadAll(PicturePath("prog.jpg"));
    std::vector<std::size_t> scans;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) scans.push_back(i);
    }
    ASSERT_GE(scans.size(), 3u);
    const std::size_t end = jpeg.size() - 2;  // before EOI
    // The last scan runs from its SOS to EOI; a DC refinement scan would be rejected, so take
    // the last scan, which is an AC refinement of one component.
    const Bytes scan(jpeg.begin() + scans.back(), jpeg.begin() + end);
    Bytes hostile(jpeg.begin(), jpeg.begin() + end);
    for (int i = 0; i < 150; ++i) hostile.insert(hostile.end(), scan.begin(), scan.end());
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    TestFolder folder;
    cBitmap b;
    EXPECT_EQ(LoadJpeg(b, folder.Write("scans.jpg", hostile).c_str(), 0), ERR_INVALID_FORMAT);
    EXPECT_FALSE(b.HasPixels());
}

TEST(ReferenceDecode, ABrokenTailFailsTheFittedDecodeAsItFailsTheFullOne) {
    // A marker no decoder knows, after the last scan: the full decode meets it when it reads on
    // to the end; the fitted one must read on too, also when (as here, a picture stored upside
    // down) the rows it takes end before the last.
    Bytes jpeg = ReadAll(PicturePath("exif3II.jpg"));
    ASSERT_GT(jpeg.size(), 2u);
    jpeg.insert(jpeg.end() - 2, {0xFF, 0x7A, 0x00, 0x04, 0x00, 0x00});
    cBitmap whole, fitted;
    EXPECT_EQ(LoadJpegBytes(whole, jpeg.data(), jpeg.size()), ERR_INVALID_FORMAT);
    EXPECT_EQ(LoadJpegBytes(fitted, jpeg.data(), jpeg.size(), 37, 23), ERR_INVALID_FORMAT);
    whole.FreeBits();
    fitted.FreeBits();
}
