// The area scaler against ImageMagick's -resize of the same pictures (PSNR), and its window
// and skipped rows against the whole scaled picture (byte for byte).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Psnr.h"
#include "TestFiles.h"
#include "imaging/AreaScaler.h"

namespace {

Bytes Scale(const Bytes& rgb, int w, int h, int sw, int sh, ScaleWindow window = {}) {
    Bytes out;
    AreaScaler scaler(w, h, sw, sh, window, [&](std::int32_t y, const std::uint8_t* row) {
        const std::size_t rowBytes = std::size_t(scaler.Window().Width) * 3;
        EXPECT_EQ(out.size(), std::size_t(y) * rowBytes);
        out.insert(out.end(), row, row + rowBytes);
    });
    for (int y = 0; y < h; ++y) {
        const bool needed = y >= scaler.FirstNeededRow() && y < scaler.EndNeededRow();
        scaler.PushRow(needed ? &rgb[std::size_t(y) * w * 3] : nullptr);
    }
    return out;
}

}  // namespace

TEST(AreaScaler, MatchesImageMagickWhereNearestNeighbourFails) {
    struct Case {
        const char* name;
        int w, h, sw, sh;
    };
    const Case cases[] = {{"scale_photo", 640, 427, 211, 141},
                          {"scale_photo", 640, 427, 320, 214},
                          {"scale_lines", 640, 428, 160, 107},
                          {"scale_dots", 640, 428, 320, 214}};
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.sw) + "x" + std::to_string(c.sh);
        SCOPED_TRACE(std::string(c.name) + " to " + size);
        const Bytes source = ReadAll(PicturePath(std::string(c.name) + ".rgb"));
        ASSERT_EQ(source.size(), std::size_t(c.w) * c.h * 3);
        const std::string stem = PicturePath(std::string(c.name) + "." + size);
        const Bytes magick = ReadAll(stem + ".magick.rgb");
        EXPECT_GE(Psnr(Scale(source, c.w, c.h, c.sw, c.sh), magick), 32.0);
        if (std::string(c.name) != "scale_photo") {
            EXPECT_LT(Psnr(ReadAll(stem + ".sample.rgb"), magick), 20.0);
        }
    }
}

TEST(AreaScaler, WindowIsTheCutOfTheWholeScaledPicture) {
    const int w = 640, h = 427;
    const Bytes source = ReadAll(PicturePath("scale_photo.rgb"));
    ASSERT_EQ(source.size(), std::size_t(w) * h * 3);
    const ScaleWindow windows[] = {{0, 0, 300, 200}, {7, 13, 150, 90}, {299, 199, 1, 1}};
    for (const auto& [sw, sh] : {std::pair{300, 200}, std::pair{640, 427}, std::pair{1000, 700}}) {
        const Bytes whole = Scale(source, w, h, sw, sh);
        ASSERT_EQ(whole.size(), std::size_t(sw) * sh * 3);
        for (const ScaleWindow& win : windows) {
            SCOPED_TRACE(std::to_string(sw) + " " + std::to_string(win.X));
            Bytes cut;
            for (int y = win.Y; y < win.Y + win.Height; ++y) {
                const auto* row = &whole[(std::size_t(y) * sw + win.X) * 3];
                cut.insert(cut.end(), row, row + std::size_t(win.Width) * 3);
            }
            EXPECT_EQ(Scale(source, w, h, sw, sh, win), cut);
        }
    }
    // Unscaled, the picture comes through unchanged.
    EXPECT_EQ(Scale(source, w, h, w, h), source);
    EXPECT_FALSE(AreaScaler::Valid(w, h, 300, 200, {250, 0, 51, 10}));
    EXPECT_FALSE(AreaScaler::Valid(w, 0, 300, 200, {}));
}
