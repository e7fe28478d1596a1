// list's view of a saver's own resources (see Branding.h).
#include <nlohmann/json.hpp>

#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/stub/Branding.h"

namespace {

std::string VersionString(const VersionInfo& v, const char16_t* key) {
    const std::u16string* text = v.String(key);
    return text ? Utf16ToUtf8(*text) : std::string();
}

// A resource text for the terminal: a hostile saver's control characters written as \xNN.
std::string Shown(const std::u16string& text) { return TerminalUtf8(Utf16ToUtf8(text)); }

}  // namespace

std::string SaverResourcesJson(const std::optional<SaverResources>& r) {
    using nlohmann::ordered_json;
    if (!r) return "null";
    ordered_json j;
    j["name"] = r->Name ? ordered_json(Utf16ToUtf8(*r->Name)) : ordered_json(nullptr);
    if (r->Version) {
        j["version"] = VersionText(r->Version->FileVersion);
        for (auto [key, field] : {std::pair{u"FileDescription", "description"},
                                  {u"ProductName", "product"},
                                  {u"CompanyName", "company"},
                                  {u"LegalCopyright", "copyright"},
                                  {u"OriginalFilename", "originalFilename"}})
            j[field] = r->Version->String(key) ? ordered_json(VersionString(*r->Version, key))
                                               : ordered_json(nullptr);
    } else {
        j["version"] = nullptr;
    }
    j["icons"] = ordered_json::array();
    for (const IconGroupEntry& e : r->Icons)
        j["icons"].push_back({{"width", e.Width}, {"height", e.Height}, {"bits", e.BitCount}});
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

std::string SaverResourcesLine(const std::optional<SaverResources>& r) {
    if (!r) return {};
    std::string line = "saver \"" + (r->Name ? Shown(*r->Name) : std::string()) + "\"";
    if (r->Version) line += ", version " + VersionText(r->Version->FileVersion);
    if (!r->Icons.empty()) {
        line += ", icon";
        for (std::size_t i = 0; i < r->Icons.size(); ++i)
            line += (i ? ", " : " ") + std::to_string(r->Icons[i].Width) + "x" +
                    std::to_string(r->Icons[i].Height) + " (" +
                    std::to_string(r->Icons[i].BitCount) + " bits)";
    }
    return line;
}
