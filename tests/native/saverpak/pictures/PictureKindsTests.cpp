// The pictures authors have, through build and the saver's own load of what was stored:
// phone photographs in all 8 Exif orientations and both byte orders, CMYK and YCCK JPEGs, PNGs
// of every colour type and depth, and the BMPs the saver does not read itself. Each is compared
// with ImageMagick's reading of the same file (made by make-pictures.sh), composited over black
// as picture 0 (the preview) and over RGB(240,240,240) as picture 1 (the logo).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <sstream>

#include "SaverInputs.h"
#include "imaging/JpegFile.h"
#include "imaging/Transitionsunit.h"
#include "package/kwPak.h"
#include "support/Bytes.h"
#include "tests/native/imaging/TestFiles.h"
#include "tools/saverpak/Commands.h"

namespace {

enum class Derive { None, TopDown, FieldsAfterHeader };

struct PictureKind {
    std::string file;
    std::string reference;  // "x": x.black.rgb and x.face.rgb; "x.rgb": one for both roles
    int width, height;      // upright
    // ImageMagick composites and narrows 16-bit samples by truncating, ours to the nearest
    // value (a transparent pixel over 240 is 240, not 239): those kinds may differ by one.
    int tolerance;
    std::string note;  // part of build's note; "" for a picture stored as it is
    Derive derive = Derive::None;
};

// The same picture with its rows stored top-down, or with a 40-byte header followed by its
// three masks (as GDI writes 16 and 32-bit pictures).
Bytes DeriveBmp(Bytes bmp, Derive derive) {
    const std::uint32_t offset = LoadLe32(&bmp[10]);
    const auto width = std::int32_t(LoadLe32(&bmp[18])), height = std::int32_t(LoadLe32(&bmp[22]));
    const std::uint32_t bits = LoadLe16(&bmp[28]);
    const std::size_t stride = (std::size_t(width) * bits + 31) / 32 * 4;
    if (derive == Derive::TopDown) {
        Bytes rows(bmp.begin() + offset, bmp.begin() + offset + stride * height);
        for (std::int32_t y = 0; y < height; ++y)
            std::memcpy(&bmp[offset + y * stride], &rows[(height - 1 - y) * stride], stride);
        StoreLe32(&bmp[22], std::uint32_t(-height));
        return bmp;
    }
    Bytes out(bmp.begin(), bmp.begin() + 54);
    out.insert(out.end(), bmp.begin() + 54, bmp.begin() + 66);  // the masks
    out.insert(out.end(), bmp.begin() + offset, bmp.end());
    StoreLe32(&out[14], 40);
    StoreLe32(&out[10], 66);
    return out;
}

std::size_t Colours(const Bytes& rgb) {
    std::set<std::uint32_t> seen;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        seen.insert((rgb[i] << 16) | (rgb[i + 1] << 8) | rgb[i + 2]);
    return seen.size();
}

// Samples further apart than the tolerance, and the first of them.
std::string Differences(const Bytes& ours, const Bytes& theirs, int tolerance) {
    if (ours.size() != theirs.size())
        return "sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size());
    std::size_t n = 0, first = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (std::abs(int(ours[i]) - int(theirs[i])) > tolerance && n++ == 0) first = i;
    }
    if (n == 0) return "";
    return std::to_string(n) + " samples, the first at " + std::to_string(first) + ": " +
           std::to_string(ours[first]) + " against " + std::to_string(theirs[first]);
}

std::string BuildCapturingNotes(TestFolder& folder, const std::string& picture) {
    folder.Write("saver.toml",
                 "[[module]]\nexternal = true\nname = \"C:/Show/show.exe\"\n"
                 "[[picture]]\nfile = '" +
                     picture + "'\n[[picture]]\nfile = '" + picture + "'\n");
    std::ostringstream err;
    auto* old = std::cerr.rdbuf(err.rdbuf());
    const std::string error = ErrorOf([&] {
        BuildSaver(folder.Path("stub.scr"), folder.Path("saver.toml"), folder.Path("out.scr"));
    });
    std::cerr.rdbuf(old);
    EXPECT_EQ(error, "");
    return err.str();
}

}  // namespace

TEST(PictureKinds, BuildStoresWhatImageMagickSeesAndTheSaverShowsIt) {
    std::vector<PictureKind> kinds;
    for (const char* order : {"II", "MM"}) {
        for (int o = 1; o <= 8; ++o) {
            const std::string name = "exif" + std::to_string(o) + order;
            kinds.push_back(
                {name + ".jpg", name + ".magick.rgb", o >= 5 ? 45 : 67, o >= 5 ? 67 : 45, 0, ""});
        }
    }
    const PictureKind fixed[] = {
        // Out of range, and cut short inside the directory: as stored.
        {"exif9II.jpg", "c420.djpeg.rgb", 67, 45, 0, ""},
        {"exifcutII.jpg", "c420.djpeg.rgb", 67, 45, 0, ""},
        // ImageMagick's own CMYK files are YCCK; the second is the same data read as CMYK.
        {"cmyk.jpeg", "cmyk.magick.rgb", 67, 45, 2, ""},
        {"cmyk0.jpeg", "cmyk0.magick.rgb", 67, 45, 2, ""},
        {"png_grey1.png", "png_grey1", 61, 37, 0, "(PNG 61\u00D737) stored as an 8-bit BMP"},
        {"png_grey2.png", "png_grey2", 61, 37, 0, "(PNG 61\u00D737) stored as an 8-bit BMP"},
        {"png_grey8.png", "png_grey8", 61, 37, 0, "(PNG 61\u00D737) stored as an 8-bit BMP"},
        {"png_grey16.png", "png_grey16", 67, 45, 1, "16 bits per channel) stored as an 8-bit BMP"},
        {"png_greya8.png", "png_greya8", 67, 45, 1,
         "(PNG 67\u00D745 with alpha) stored as an 8-bit"},
        {"png_greya16.png", "png_greya16", 67, 45, 1, "16 bits per channel with alpha)"},
        {"png_rgb8.png", "png_rgb8", 67, 45, 0, "(PNG 67\u00D745) stored as a 24-bit BMP"},
        {"png_rgb16.png", "png_rgb16", 67, 45, 1, "16 bits per channel) stored as a 24-bit BMP"},
        {"png_rgba8.png", "png_rgba8", 67, 45, 1, "(PNG 67\u00D745 with alpha) stored as a 24-bit"},
        {"png_rgba16.png", "png_rgba16", 67, 45, 1, "16 bits per channel with alpha)"},
        {"png_pal2.png", "png_pal2", 61, 37, 0, "(PNG 61\u00D737) stored as an 8-bit BMP"},
        {"png_pal8.png", "png_pal8", 61, 37, 0, "(PNG 61\u00D737) stored as an 8-bit BMP"},
        {"png_paltrns.png", "png_paltrns", 67, 45, 1, "(PNG 67\u00D745 with alpha)"},
        {"png_rgba8i.png", "png_rgba8i", 67, 45, 1, "interlaced with alpha) stored as a 24-bit"},
        {"png_pal8i.png", "png_pal8i", 61, 37, 0,
         "(PNG 61\u00D737, interlaced) stored as an 8-bit"},
        {"bmp16_555.bmp", "bmp16_555", 67, 45, 0, "(BMP 67\u00D745, 16 bits with bit fields)"},
        {"bmp16_565.bmp", "bmp16_565", 67, 45, 0, "(BMP 67\u00D745, 16 bits with bit fields)"},
        {"bmp16_565.bmp", "bmp16_565", 67, 45, 0, "16 bits with bit fields)",
         Derive::FieldsAfterHeader},
        {"bmp16_rgb.bmp", "bmp16_rgb", 67, 45, 0, "(BMP 67\u00D745, 16 bits) stored as a 24-bit"},
        // ImageMagick 6.9 widens 4-bit fields by shifting alone (15 reads as 240, so opaque is
        // 94% opaque); ours repeats the bits (15 is 255). Colour and alpha each differ by up to
        // one 4-bit step.
        {"bmp16_4444.bmp", "bmp16_4444", 67, 45, 34, "16 bits with bit fields with alpha"},
        {"bmp16_1555.bmp", "bmp16_1555", 67, 45, 1, "16 bits with bit fields with alpha"},
        {"bmp32.bmp", "bmp32", 61, 37, 0, "32 bits with bit fields with alpha) stored as an 8-bit"},
        {"bmp32a.bmp", "bmp32a", 67, 45, 1, "32 bits with bit fields with alpha) stored as a 24"},
        {"bmp32a.bmp", "bmp32a", 67, 45, 1, "32 bits with bit fields, top-down with alpha)",
         Derive::TopDown},
        {"src8.bmp", "src8.rgb", 67, 45, 0, "(BMP 67\u00D745, 8 bits, top-down) stored as an 8",
         Derive::TopDown},
        {"src24.bmp", "src24.rgb", 67, 45, 0, "24 bits, top-down) stored as a 24-bit BMP",
         Derive::TopDown},
        {"src1.bmp", "src1.rgb", 67, 45, 0, "1 bit, top-down) stored as an 8-bit BMP",
         Derive::TopDown},
    };
    kinds.insert(kinds.end(), std::begin(fixed), std::end(fixed));

    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    for (const PictureKind& kind : kinds) {
        SCOPED_TRACE(kind.file + (kind.derive != Derive::None ? " (derived)" : ""));
        Bytes input = ReadAll(PicturePath(kind.file));
        ASSERT_FALSE(input.empty());
        if (kind.derive != Derive::None) input = DeriveBmp(input, kind.derive);
        const std::string picture = folder.Write("picture.bin", input);
        const std::string notes = BuildCapturingNotes(folder, picture);
        const bool converted = !kind.note.empty();
        EXPECT_EQ(notes.find(kind.note) != std::string::npos, true) << notes;
        EXPECT_EQ(notes.find("picture 1: " + picture + " (") != std::string::npos, converted)
            << notes;

        kwPak pak;
        ScopedUnbind scope(pak);
        pak.Bind(folder.Path("out.scr").c_str());
        const auto table = pak.ContentTable();
        ASSERT_EQ(table.size(), 2u);
        const bool shared = kind.reference.find(".rgb") != std::string::npos;
        for (int role = 0; role < 2; ++role) {
            const Bytes reference = ReadAll(
                PicturePath(shared ? kind.reference
                                   : kind.reference + (role == 0 ? ".black.rgb" : ".face.rgb")));
            ASSERT_FALSE(reference.empty());
            ssPicture stored;
            stored.Load(pak, std::int32_t(table[role]));
            EXPECT_EQ(stored.Width(), kind.width);
            EXPECT_EQ(stored.Height(), kind.height);
            EXPECT_EQ(Differences(TopDownRgb(stored), reference, kind.tolerance), "") << role;
            EXPECT_EQ(stored.FPictureType, converted ? kPictureTypeBmp : kPictureTypeJpeg);
            // At most 256 colours make an 8-bit BMP; RLE8 is kept only where it is smaller.
            if (converted) {
                EXPECT_EQ(stored.BitCount(), Colours(reference) <= 256 ? 8 : 24) << role;
            } else {
                // A JPEG is stored as it is, and the saver's fitted decode of the upright picture
                // equals its full decode shrunk.
                ssPicture fitted;
                fitted.Load(pak, std::int32_t(table[role]), 37, 23);
                stored.Resize(RECT{0, 0, 37, 23});
                ASSERT_EQ(fitted.Width(), stored.Width());
                ASSERT_EQ(fitted.Height(), stored.Height());
                EXPECT_EQ(TopDownRgb(fitted), TopDownRgb(stored));
            }
        }
        ExtractFromSaver(folder.Path("out.scr"), ExtractKind::Picture, 0, folder.Path("stored"));
        const Bytes stored = ReadAll(folder.Path("stored"));
        if (!converted) {
            EXPECT_EQ(stored, input);
        } else if (notes.find("(RLE8)") != std::string::npos) {
            // Compressed only where that is smaller than the plain rows.
            ASSERT_GT(stored.size(), 54u);
            EXPECT_EQ(LoadLe32(&stored[30]), 1u);
            const std::size_t plain = std::size_t((kind.width + 3) & ~3) * kind.height;
            EXPECT_LT(stored.size() - LoadLe32(&stored[10]), plain);
        } else {
            EXPECT_EQ(LoadLe32(&stored[30]), 0u);
        }
    }
}

// A logo larger than the dialog's box is stored fitted into it, averaged: columns of black and
// white become grey (nearest neighbour would keep one of the two). The preview is stored as is.
TEST(PictureKinds, ALogoLargerThanTheDialogsBoxIsFittedByAveraging) {
    TestFolder folder;
    folder.Write("stub.scr", StubBytes());
    std::string bmp = BmpBytes(960, 300);
    for (std::size_t i = 54; i < bmp.size(); ++i) bmp[i] = (i - 54) / 3 % 2 ? '\xFF' : '\0';
    const std::string picture = folder.Write("wide.bmp", bmp);
    const std::string notes = BuildCapturingNotes(folder, picture);
    EXPECT_EQ(notes,
              "saverpak: picture 1: " + picture +
                  " (BMP 960\u00D7300) fitted into 480\u00D7360 for the configuration dialog, "
                  "stored as an 8-bit BMP (RLE8) of 480\u00D7150\n");
    kwPak pak;
    ScopedUnbind scope(pak);
    pak.Bind(folder.Path("out.scr").c_str());
    ssPicture preview, logo;
    preview.Load(pak, std::int32_t(pak.ContentTable()[0]));
    logo.Load(pak, std::int32_t(pak.ContentTable()[1]));
    EXPECT_EQ(preview.Width(), 960);
    ASSERT_EQ(logo.Width(), 480);
    ASSERT_EQ(logo.Height(), 150);
    for (std::uint8_t value : TopDownRgb(logo)) ASSERT_TRUE(value == 127 || value == 128) << +value;
}
