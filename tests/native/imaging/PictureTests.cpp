// ssPicture: the decoder chosen by name or by stored type, the messages, and fitting.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "TestFiles.h"
#include "imaging/Transitionsunit.h"
#include "package/PakFormat.h"
#include "package/ssPak.h"

namespace {

std::string LoadMessage(ssPicture& picture, const std::string& name) {
    try {
        picture.Load(name.c_str());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// A picture whose rows are filled with their stored row and column numbers.
void MakeNumbered(ssPicture& p, std::int32_t w, std::int32_t h, WORD bits = 24) {
    p.FHeader = {};
    p.FHeader.biSize = 40;
    p.FHeader.biWidth = w;
    p.FHeader.biHeight = h;
    p.FHeader.biPlanes = 1;
    p.FHeader.biBitCount = bits;
    ASSERT_EQ(p.AllocateBits(), 0);
    for (std::int32_t y = 0; y < h; ++y) {
        BYTE* row = p.Row(y);
        std::memset(row, 0, p.FStride);
        if (bits != 24) continue;
        for (std::int32_t x = 0; x < w; ++x) {
            row[3 * x] = BYTE(x);
            row[3 * x + 1] = BYTE(y);
            row[3 * x + 2] = 77;
        }
    }
}

}  // namespace

TEST(PictureLoad, ChoosesTheDecoderByExtension) {
    TestFolder folder;
    const Bytes jpeg = ReadAll(PicturePath("thin.jpg"));
    const Bytes bmp = ReadAll(PicturePath("thin8.bmp"));
    ssPicture fresh;
    EXPECT_EQ(fresh.FPictureType, 1);
    for (const char* name : {"PHOTO.JPEG", "photo.Jpg"}) {
        ssPicture p;
        EXPECT_EQ(LoadMessage(p, folder.Write(name, jpeg)), "") << name;
        EXPECT_EQ(p.FPictureType, 1);
        EXPECT_EQ(p.BitCount(), 24);
    }
    ssPicture b;
    EXPECT_EQ(LoadMessage(b, folder.Write("a.b.bmp", bmp)), "");
    EXPECT_EQ(b.FPictureType, 0);
    EXPECT_EQ(b.BitCount(), 4);

    for (const char* name : {"photo.jpe", "photo.bmp.txt", "photo."}) {
        ssPicture p;
        const std::string path = folder.Write(name, jpeg);
        EXPECT_EQ(LoadMessage(p, path), "Error loading picture, the file type is invalid. " + path);
    }
    ssPicture p;
    EXPECT_EQ(LoadMessage(p, "photo"), "Error loading picture, invalid file type. photo");
    EXPECT_EQ(LoadMessage(p, "my.pics/photo"),
              "Error loading picture, the file type is invalid. my.pics/photo");
}

TEST(PictureLoad, DecoderFailuresNameCodeAndFile) {
    TestFolder folder;
    Bytes bmp = ReadAll(PicturePath("thin8.bmp"));
    bmp[0] = 'X';
    const std::string bad = folder.Write("bad.bmp", bmp);
    ssPicture p;
    EXPECT_EQ(LoadMessage(p, bad),
              "Error loading picture. The file format is invalid or unrecognized." + bad);
    EXPECT_EQ(p.GetError(), ERR_INVALID_FORMAT);

    // The name decides: BMP data under a .jpg name fails as JPEG data.
    const std::string lying = folder.Write("lying.jpg", ReadAll(PicturePath("thin8.bmp")));
    EXPECT_EQ(LoadMessage(p, lying),
              "Error loading picture. The file format is invalid or unrecognized." + lying);

    const std::string missing = folder.Path("missing.jpeg");
    EXPECT_EQ(LoadMessage(p, missing),
              "Error loading picture. Attempt to open the file failed." + missing);
    EXPECT_EQ(p.GetError(), ERR_OPEN_FAILED);

    Bytes shortBmp = ReadAll(PicturePath("thin8.bmp"));
    shortBmp.resize(30);
    const std::string cut = folder.Write("cut.bmp", shortBmp);
    EXPECT_EQ(LoadMessage(p, cut), "Error loading picture. End of file." + cut);
}

TEST(PictureLoad, FromTheContainer) {
    // A container needs only its trailer for these reads: descriptor, data blocks, trailer.
    const Bytes jpeg = ReadAll(PicturePath("c420.jpg"));
    const Bytes bmp = ReadAll(PicturePath("src4.bmp"));
    Bytes pak(16, 0xCC);
    auto descriptor = [&](std::uint32_t size, std::uint8_t type, std::uint32_t data) {
        const std::uint32_t at = std::uint32_t(pak.size());
        PakPictureDescriptor d;
        d.StructSize = size;
        d.PictureType = type;
        d.DataOffset = data;
        const auto bytes = d.Encode();
        pak.insert(pak.end(), bytes.begin(), bytes.end());
        return std::int32_t(at);
    };
    auto block = [&](const Bytes& data) {
        const std::uint32_t at = std::uint32_t(pak.size());
        const std::uint32_t n = std::uint32_t(data.size());
        for (int i = 0; i < 4; ++i) pak.push_back(BYTE(n >> (8 * i)));
        pak.insert(pak.end(), data.begin(), data.end());
        return at;
    };
    const std::uint32_t jpegBlock = block(jpeg);
    const std::uint32_t bmpBlock = block(bmp);
    const std::int32_t jpegPicture = descriptor(9, 1, jpegBlock);
    const std::int32_t bmpPicture = descriptor(9, 0, bmpBlock);
    const std::int32_t badSize = descriptor(17, 1, jpegBlock);
    const std::int32_t badType = descriptor(9, 2, jpegBlock);
    const std::int32_t badData = descriptor(9, 1, 0x7FFFFF00);
    const std::int32_t wrongData = descriptor(9, 1, bmpBlock);
    PakTrailer trailer;
    const auto t = trailer.Encode();
    pak.insert(pak.end(), t.begin(), t.end());
    TestFolder folder;
    const std::string path = folder.Write("saver.scr", pak);

    ssPak container;
    container.OpenPath(path.c_str());
    ssPicture j;
    j.Load(container, jpegPicture);
    EXPECT_EQ(j.FPictureType, 1);
    EXPECT_EQ(TopDownRgb(j), ReadAll(PicturePath("c420.djpeg.rgb")));
    ssPicture b;
    b.Load(container, bmpPicture);
    EXPECT_EQ(b.FPictureType, 0);
    EXPECT_EQ(TopDownRgb(b), ReadAll(PicturePath("src4.rgb")));

    auto message = [&](std::int32_t at) -> std::string {
        ssPicture p;
        try {
            p.Load(container, at);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_EQ(message(badSize), "File is corrupt. Error reading picture descriptor.");
    EXPECT_EQ(message(badType), "File is corrupt. Invalid picture type.");
    EXPECT_EQ(message(badData), "Error reading module file. " + path);
    EXPECT_EQ(message(wrongData),
              "Error loading picture. The file format is invalid or unrecognized.");
    container.Close();
}

TEST(PictureFit, SizesFollowTheTighterSide) {
    struct Case {
        std::int32_t w, h, tw, th, ew, eh;
    } cases[] = {
        {1024, 768, 800, 600, 800, 600}, {1600, 900, 1024, 768, 1024, 576},
        {100, 1000, 640, 480, 48, 480},  {1000, 333, 640, 480, 640, 213},
        {300, 210, 640, 480, 300, 210},  {5000, 3, 152, 112, 152, 1},
    };
    for (const Case& c : cases) {
        std::int32_t w, h;
        FitSize(c.w, c.h, c.tw, c.th, w, h);
        EXPECT_EQ(w, c.ew) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.eh) << c.w << "x" << c.h;
    }
}

TEST(PictureFit, ResizeResamplesNearestNeighbour) {
    ssPicture p;
    MakeNumbered(p, 4, 2);
    p.Resize(RECT{0, 0, 2, 1});
    ASSERT_EQ(p.Width(), 2);
    ASSERT_EQ(p.Height(), 1);
    EXPECT_EQ(p.FStride, 8u);
    EXPECT_EQ(p.FPixels[0], 0);  // column 0 of row 0
    EXPECT_EQ(p.FPixels[3], 2);  // column 2 of row 0
    EXPECT_EQ(p.FPixels[4], 0);

    // Fitting 7 x 5 into 3 x 3 gives 3 x 2: columns 0, 2, 4 and rows 0, 2.
    ssPicture q;
    MakeNumbered(q, 7, 5);
    q.Resize(RECT{10, 10, 13, 13});
    ASSERT_EQ(q.Width(), 3);
    ASSERT_EQ(q.Height(), 2);
    EXPECT_EQ(q.Row(1)[0], 0);
    EXPECT_EQ(q.Row(1)[1], 2);
    EXPECT_EQ(q.Row(1)[6], 4);

    // A fitting picture keeps its pixels and its bit count.
    ssPicture small;
    MakeNumbered(small, 300, 210, 8);
    const BYTE* before = small.FPixels;
    small.Resize(RECT{0, 0, 640, 480});
    EXPECT_EQ(small.FPixels, before);
    EXPECT_EQ(small.BitCount(), 8);

    // An 8-bit picture that is too big goes to 24 bits first.
    ssPicture big;
    MakeNumbered(big, 1024, 768, 8);
    big.Resize(RECT{0, 0, 800, 600});
    EXPECT_EQ(big.BitCount(), 24);
    EXPECT_EQ(big.Width(), 800);
    EXPECT_EQ(big.Height(), 600);

    // A cancel request stops the conversion to 24 bits with its message.
    ssPicture cancelled;
    MakeNumbered(cancelled, 64, 64, 4);
    cancelled.SetCancel(1);
    try {
        cancelled.Resize(RECT{0, 0, 10, 10});
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error increasing color depth.");
        EXPECT_EQ(cancelled.GetError(), ERR_CANCELLED);
    }
}

TEST(PictureSteps, QuantizeRefusesOneBitAndDitherConvertsFirst) {
    ssPicture p;
    MakeNumbered(p, 8, 8, 1);
    for (int i = 0; i < 2; ++i) p.FPalette[i] = {BYTE(i * 255), BYTE(i * 255), BYTE(i * 255), 0};
    p.Resize(RECT{0, 0, 640, 480});
    EXPECT_EQ(p.BitCount(), 1);
    cColorCube cube;
    ASSERT_EQ(cube.Initialize(0, 256), 0);
    try {
        p.Quantize(cube);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error quantizing picture.");
        EXPECT_EQ(p.GetError(), ERR_INVALID_FORMAT);
    }
    cube.FreeTree();

    cDither reduce;
    ASSERT_EQ(reduce.Setup(nullptr, false, 0, 0, 0, 6), 0);
    p.Dither(reduce);
    EXPECT_EQ(p.BitCount(), 24);
    reduce.FreeTables();

    cDither unready;
    try {
        p.Dither(unready);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error dithering picture. ");
    }
}
