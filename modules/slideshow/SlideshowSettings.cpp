#include "modules/slideshow/SlideshowSettings.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

// A decimal number of at most 9 digits (no sign, no spaces) within [low, high].
bool ReadNumber(std::string_view text, std::int32_t low, std::int32_t high, std::int32_t& out) {
    if (text.empty() || text.size() > 9) return false;
    std::int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return false;
    out = value;
    return true;
}

template <typename T>
void ReadChoice(std::string_view text, std::initializer_list<std::pair<std::string_view, T>> names,
                T& out) {
    for (const auto& [name, value] : names) {
        if (text == name) out = value;
    }
}

void Apply(std::string_view key, std::string_view value, SlideshowSettings& s) {
    if (key == "seconds") {
        ReadNumber(value, kMinSlideSeconds, kMaxSlideSeconds, s.Seconds);
    } else if (key == "order") {
        ReadChoice(value, {{"in-turn", SlideOrder::InTurn}, {"shuffle", SlideOrder::Shuffle}},
                   s.Order);
    } else if (key == "fit") {
        ReadChoice(value, {{"fit", SlideFit::Fit}, {"fill", SlideFit::Fill}}, s.Fit);
    } else if (key == "transition") {
        ReadChoice(value, {{"fade", SlideTransition::Fade}, {"cut", SlideTransition::Cut}},
                   s.Transition);
    } else if (key == "monitors") {
        ReadChoice(value,
                   {{"each", SlideMonitors::Each},
                    {"span", SlideMonitors::Span},
                    {"primary", SlideMonitors::Primary}},
                   s.Monitors);
    } else if (key == "first") {
        ReadNumber(value, 0, 0x7FFFFFFF, s.First);
    } else if (key == "count") {
        ReadNumber(value, 1, 0x7FFFFFFF, s.Count);
    }
}

}  // namespace

SlideshowSettings ParseSlideshowSettings(std::string_view text) {
    SlideshowSettings settings;
    if (text.size() > kMaxSettingsText) return settings;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            Apply(line.substr(0, equals), line.substr(equals + 1), settings);
    }
    return settings;
}

SlideItems SlideItemsOf(const SlideshowSettings& settings, std::size_t items) {
    SlideItems slides;
    slides.First = std::min(std::size_t(settings.First), items);
    slides.End =
        settings.Count < 0 ? items : std::min(slides.First + std::size_t(settings.Count), items);
    return slides;
}

std::string FormatSlideshowSettings(const SlideshowSettings& s) {
    std::string text = "seconds=" + std::to_string(s.Seconds) + "\n";
    text += s.Order == SlideOrder::Shuffle ? "order=shuffle\n" : "order=in-turn\n";
    text += s.Fit == SlideFit::Fill ? "fit=fill\n" : "fit=fit\n";
    text += s.Transition == SlideTransition::Cut ? "transition=cut\n" : "transition=fade\n";
    text += s.Monitors == SlideMonitors::Span      ? "monitors=span\n"
            : s.Monitors == SlideMonitors::Primary ? "monitors=primary\n"
                                                   : "monitors=each\n";
    text += "first=" + std::to_string(s.First) + "\n";
    if (s.Count > 0) text += "count=" + std::to_string(s.Count) + "\n";
    return text;
}
