#include "tools/saverpak/manifest/VersionText.h"

#include <charconv>
#include <string_view>

std::optional<VersionNumber> ParseVersionText(const std::string& text) {
    VersionNumber version{};
    std::size_t part = 0, start = 0;
    for (;;) {
        std::size_t dot = text.find('.', start);
        std::string_view piece = std::string_view(text).substr(
            start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part >= 4 || piece.empty() || piece.size() > 5) return std::nullopt;
        unsigned value = 0;
        auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error != std::errc() || end != piece.data() + piece.size() || value > 0xFFFF)
            return std::nullopt;
        version[part++] = static_cast<std::uint16_t>(value);
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (part < 3) return std::nullopt;
    return version;
}

std::string VersionText(const VersionNumber& v) {
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
}
