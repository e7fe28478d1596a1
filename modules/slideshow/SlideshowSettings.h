// The slideshow's settings: the text `saverpak build` stores in the saver as the RCDATA resource
// "SLIDESHOW", UTF-8, one `key=value` a line (LF or CRLF). Keys it does not know are passed
// over, and a value that is missing, malformed or out of range leaves its key's default, so any
// text, or none, gives settings that work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class SlideOrder { InTurn, Shuffle };
enum class SlideFit { Fit, Fill };
enum class SlideTransition { Fade, Cut };
enum class SlideMonitors { Each, Span, Primary };

constexpr std::int32_t kMinSlideSeconds = 2;
constexpr std::int32_t kMaxSlideSeconds = 3600;
// Content items 0 and 1 are the saver's preview picture and logo.
constexpr std::int32_t kFirstSlideItem = 2;
// The settings text is a few lines; more than this is not ours.
constexpr std::size_t kMaxSettingsText = 64 * 1024;

struct SlideshowSettings {
    std::int32_t Seconds = 8;
    SlideOrder Order = SlideOrder::InTurn;
    SlideFit Fit = SlideFit::Fit;
    SlideTransition Transition = SlideTransition::Fade;
    SlideMonitors Monitors = SlideMonitors::Each;
    std::int32_t First = kFirstSlideItem;  // content index of the first slide
    std::int32_t Count = -1;               // slides from First on; -1: every item to the end
};

SlideshowSettings ParseSlideshowSettings(std::string_view text);
// The text `saverpak build` stores: every key, one a line (LF), in the order above; "count" only
// when it is set. ParseSlideshowSettings reads it back as it was.
std::string FormatSlideshowSettings(const SlideshowSettings& settings);

// The content items that are slides, [First, End), in a content table of `items` entries: from
// First, Count of them or every one to the end, never past the table.
struct SlideItems {
    std::size_t First = 0, End = 0;
    std::size_t Count() const { return End - First; }
    bool Holds(std::size_t item) const { return item >= First && item < End; }
};
SlideItems SlideItemsOf(const SlideshowSettings& settings, std::size_t items);
