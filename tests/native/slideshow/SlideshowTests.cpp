#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "Psnr.h"
#include "TestFiles.h"
#include "modules/slideshow/SlidePreparation.h"
#include "modules/slideshow/SlideSequence.h"
#include "modules/slideshow/SlideshowSettings.h"

namespace {

SlideSource FromFile(const std::string& path, bool jpeg = true) {
    SlideSource source;
    source.Path = path.c_str();
    source.Jpeg = jpeg;
    return source;
}

SlideSource FromMemory(const Bytes& bytes, bool jpeg = true) {
    SlideSource source;
    source.Bytes = bytes.data();
    source.Size = bytes.size();
    source.Jpeg = jpeg;
    return source;
}

// Prepares into a frame of w x h and returns its pixels as top-down RGB.
Bytes Prepare(const SlideSource& source, SlideFit fit, int w, int h, std::string& error,
              const std::atomic<bool>* cancel = nullptr) {
    const std::ptrdiff_t stride = (w * 3 + 3) & ~3;
    Bytes frame(std::size_t(stride) * h, 0xAA);
    error = PrepareSlide(source, fit, {frame.data(), w, h, stride}, cancel);
    Bytes rgb;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &frame[std::size_t(y * stride + x * 3)];
            rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
    }
    return rgb;
}

// Prepares the file, and its bytes from memory, into a frame of w x h: both must come out the
// same and without error. Returns the file's pixels.
Bytes PrepareFromFileAndMemory(const std::string& path, bool jpeg, SlideFit fit, int w, int h) {
    std::string error;
    const Bytes fromFile = Prepare(FromFile(path, jpeg), fit, w, h, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(Prepare(FromMemory(ReadAll(path), jpeg), fit, w, h, error), fromFile);
    EXPECT_EQ(error, "");
    return fromFile;
}

}  // namespace

TEST(SlideshowSettings, EveryKeyTakesItsValueOrKeepsItsDefault) {
    const SlideshowSettings d;
    struct Case {
        const char* text;
        int seconds;
        SlideOrder order;
        SlideFit fit;
        SlideTransition transition;
        SlideMonitors monitors;
        int first, count;
    } cases[] = {
        {"", 8, d.Order, d.Fit, d.Transition, d.Monitors, 2, -1},
        {"seconds=2\norder=shuffle\nfit=fill\ntransition=cut\nmonitors=span\nfirst=0\ncount=5\n", 2,
         SlideOrder::Shuffle, SlideFit::Fill, SlideTransition::Cut, SlideMonitors::Span, 0, 5},
        {"\xEF\xBB\xBFseconds=3600\r\nmonitors=primary\r\nfirst=7", 3600, d.Order, d.Fit,
         d.Transition, SlideMonitors::Primary, 7, -1},
        // Out of range, malformed, wrong case, spaces, unknown keys: the defaults.
        {"seconds=1\norder=Shuffle\nfit= fill\ntransition=\nmonitors=all\ncount=0\nfirst=-1\n"
         "colour=red\n=\nseconds\n",
         8, d.Order, d.Fit, d.Transition, d.Monitors, 2, -1},
        {"seconds=3601\ncount=99999999999999\nseconds=5", 5, d.Order, d.Fit, d.Transition,
         d.Monitors, 2, -1},
        {"fit=fill\0fit=fit", 8, d.Order, SlideFit::Fill, d.Transition, d.Monitors, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const SlideshowSettings s = ParseSlideshowSettings(c.text);
        EXPECT_EQ(s.Seconds, c.seconds);
        EXPECT_EQ(s.Order, c.order);
        EXPECT_EQ(s.Fit, c.fit);
        EXPECT_EQ(s.Transition, c.transition);
        EXPECT_EQ(s.Monitors, c.monitors);
        EXPECT_EQ(s.First, c.first);
        EXPECT_EQ(s.Count, c.count);
        // What the tool writes reads back the same.
        const SlideshowSettings again = ParseSlideshowSettings(FormatSlideshowSettings(s));
        EXPECT_EQ(std::tie(again.Seconds, again.Order, again.Fit, again.Transition, again.Monitors,
                           again.First, again.Count),
                  std::tie(s.Seconds, s.Order, s.Fit, s.Transition, s.Monitors, s.First, s.Count));
    }
    // Text far longer than any settings: not ours.
    EXPECT_EQ(ParseSlideshowSettings(std::string(kMaxSettingsText, '\n') + "seconds=9").Seconds, 8);
}

TEST(SlidePlacement, FitShowsAllAndFillCoversCutAtTheCentre) {
    struct Case {
        int w, h, fw, fh;
        SlideFit fit;
        SlidePlacement expected;
    } cases[] = {
        {6000, 4000, 3840, 2160, SlideFit::Fit, {3240, 2160, {0, 0, 3240, 2160}, 300, 0}},
        {6000, 4000, 3840, 2160, SlideFit::Fill, {3840, 2560, {0, 200, 3840, 2160}, 0, 0}},
        {4000, 6000, 3840, 2160, SlideFit::Fit, {1440, 2160, {0, 0, 1440, 2160}, 1200, 0}},
        {4000, 6000, 3840, 2160, SlideFit::Fill, {3840, 5760, {0, 1800, 3840, 2160}, 0, 0}},
        {1920, 1080, 1920, 1080, SlideFit::Fill, {1920, 1080, {0, 0, 1920, 1080}, 0, 0}},
        // Small pictures are enlarged; an odd margin's extra pixel goes above or left, an odd
        // cut's below or right.
        {100, 50, 801, 600, SlideFit::Fit, {801, 401, {0, 0, 801, 401}, 0, 100}},
        {100, 50, 801, 600, SlideFit::Fill, {1200, 600, {199, 0, 801, 600}, 0, 0}},
        // A strip never scales to nothing.
        {10000, 1, 800, 600, SlideFit::Fit, {800, 1, {0, 0, 800, 1}, 0, 300}},
        {1, 10000, 800, 600, SlideFit::Fill, {800, 8000000, {0, 3999700, 800, 600}, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " in " +
                     std::to_string(c.fw) + "x" + std::to_string(c.fh));
        const SlidePlacement p = PlaceSlide(c.w, c.h, c.fw, c.fh, c.fit);
        const SlidePlacement& e = c.expected;
        EXPECT_EQ(std::tie(p.ScaledWidth, p.ScaledHeight, p.Left, p.Top),
                  std::tie(e.ScaledWidth, e.ScaledHeight, e.Left, e.Top));
        EXPECT_EQ(std::tie(p.Window.X, p.Window.Y, p.Window.Width, p.Window.Height),
                  std::tie(e.Window.X, e.Window.Y, e.Window.Width, e.Window.Height));
    }
}

TEST(SlidePlacement, DctScaleIsTheSmallestThatStillCovers) {
    struct Case {
        int w, h, sw, sh, scale;
    } cases[] = {
        {6000, 4000, 3840, 2560, 6},  // 4500x3000
        {6000, 4000, 1920, 1280, 3},  // 2250x1500
        {6000, 4000, 750, 500, 1},    // exactly an eighth
        {6000, 4000, 751, 500, 2},
        {6001, 4001, 751, 501, 1},  // an eighth rounds up: 751x501
        {4000, 6000, 3840, 5760, 8},
        {640, 480, 1920, 1080, 8},  // enlarged: the full size
        {1, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DctScaleFor(c.w, c.h, c.sw, c.sh), c.scale)
            << c.w << "x" << c.h << " to " << c.sw << "x" << c.sh;
    }
}

// Each of the eight Exif orientations, filled and fitted, from the file and from memory, as
// ImageMagick makes them upright, resizes and cuts them.
TEST(SlidePreparation, MatchesImageMagicksPreparationInEveryOrientation) {
    for (int o = 1; o <= 8; ++o) {
        const std::string name = "slide" + std::to_string(o);
        const std::string path = PicturePath(name + ".jpg");
        ASSERT_FALSE(ReadAll(path).empty()) << path;
        for (const SlideFit fit : {SlideFit::Fill, SlideFit::Fit}) {
            const char* mode = fit == SlideFit::Fill ? "fill" : "fit";
            SCOPED_TRACE(name + " " + mode);
            EXPECT_GE(Psnr(PrepareFromFileAndMemory(path, true, fit, 200, 150),
                           ReadAll(PicturePath(name + "." + mode + ".rgb"))),
                      30.0);
        }
    }
}

// BMPs of every kind the saver reads, at their own size: exactly the pixels ImageMagick reads,
// rows streamed from the file or from memory, or decoded whole (RLE).
TEST(SlidePreparation, BmpsOfEveryKindComeThroughExactly) {
    for (const char* name : {"src24", "src8", "src4", "src1", "srcrle8", "srcrle8c5", "src24v5",
                             "src8v5", "srcrle8v5", "thin24", "even8"}) {
        SCOPED_TRACE(name);
        const bool thin = name[0] == 't', even = name[0] == 'e';
        const int w = thin ? 1 : even ? 64 : 67, h = thin ? 3 : even ? 48 : 45;
        EXPECT_EQ(PrepareFromFileAndMemory(PicturePath(std::string(name) + ".bmp"), false,
                                           SlideFit::Fill, w, h),
                  ReadAll(PicturePath(std::string(name) + ".rgb")));
    }
}

TEST(SlidePreparation, BmpsTooAndBrokenPicturesSayWhy) {
    EXPECT_GE(
        Psnr(PrepareFromFileAndMemory(PicturePath("slide.bmp"), false, SlideFit::Fill, 200, 150),
             ReadAll(PicturePath("slide1.fill.rgb"))),
        30.0);
    std::string error;
    const Bytes garbage(1000, 0x5A);
    for (const bool jpeg : {true, false}) {
        const Bytes black = Prepare(FromMemory(garbage, jpeg), SlideFit::Fit, 20, 10, error);
        EXPECT_NE(error, "");
        EXPECT_EQ(black, Bytes(20 * 10 * 3, 0));
    }
    Prepare(FromFile("/nonexistent/slide.jpg"), SlideFit::Fit, 20, 10, error);
    EXPECT_NE(error, "");
    const std::atomic<bool> cancel{true};
    Prepare(FromFile(PicturePath("slide1.jpg")), SlideFit::Fill, 200, 150, error, &cancel);
    EXPECT_NE(error, "");
}

TEST(SlideSequence, InTurnOrShuffledEachOnceARoundAndFailuresLeftOut) {
    SlideSequence inTurn(3, SlideOrder::InTurn, 1);
    for (int expected : {0, 1, 2, 0, 1}) EXPECT_EQ(inTurn.Next(), expected);
    SlideSequence shuffled(5, SlideOrder::Shuffle, 7);
    int previous = -1;
    for (int round = 0; round < 20; ++round) {
        std::set<int> seen;
        for (int i = 0; i < 5; ++i) {
            const int slide = shuffled.Next();
            EXPECT_NE(slide, previous);
            previous = slide;
            seen.insert(slide);
        }
        EXPECT_EQ(seen.size(), 5u);
    }
    SlideSequence failing(2, SlideOrder::InTurn, 1);
    failing.Failed(0, "first");
    EXPECT_EQ(failing.Next(), 1);
    EXPECT_EQ(failing.Next(), 1);
    failing.Failed(1, "second");
    EXPECT_EQ(failing.Next(), -1);
    EXPECT_EQ(failing.LastFailure(), "second");
    EXPECT_EQ(SlideSequence(0, SlideOrder::Shuffle, 1).Next(), -1);
}
