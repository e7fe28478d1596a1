#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string_view>

#include <nlohmann/json.hpp>

#include "modules/slideshow/SlideshowSettings.h"
#include "support/Text.h"
#include "tools/saverpak/Commands.h"
#include "tools/saverpak/container/Inspect.h"
#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"
#include "tools/saverpak/manifest/KeyNames.h"
#include "tools/saverpak/pictures/PictureFacts.h"
#include "tools/saverpak/stub/Branding.h"

namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

std::uint64_t ContainerEnd(const PakReport& r) {
    return r.TrailerSpan.Position + r.TrailerSpan.Size;
}

ordered_json SpanJson(const PakSpan& span) {
    return {{"position", span.Position}, {"size", span.Size}};
}

ordered_json StringJson(const PakStringInfo& s) {
    ordered_json j = SpanJson(s.Span);
    j["length"] = s.Length;
    j["text"] = s.Text ? ordered_json(Windows1252ToUtf8(*s.Text)) : ordered_json(nullptr);
    return j;
}

ordered_json DataJson(const PakDataInfo& d) {
    ordered_json j = SpanJson(d.Span);
    j["length"] = d.Length;
    return j;
}

ordered_json TableJson(const PakTableInfo& t) {
    ordered_json j = SpanJson(t.Span);
    j["entries"] = t.Entries;
    return j;
}

const char* PictureTypeName(std::uint8_t type) { return type == kPictureJpeg ? "jpeg" : "bmp"; }

const char* FunctionName(std::uint8_t function) {
    return function == kShellExecute ? "shell-execute" : "exit-and-leave-running";
}

using Facts = std::vector<std::optional<PictureFacts>>;

// What each picture is to the saver: preview, logo, a slide of its slideshow (the resource
// SLIDESHOW says which items), or none of these ("").
std::vector<std::string> PictureRoles(std::size_t count, const std::optional<std::string>& slides) {
    std::vector<std::string> roles;
    SlideItems slideItems;
    if (slides) slideItems = SlideItemsOf(ParseSlideshowSettings(*slides), count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string role = PictureRole(i);
        if (slideItems.Holds(i)) role += role.empty() ? "slide" : ", slide";
        roles.push_back(role);
    }
    return roles;
}

// The slideshow's settings as list shows them.
ordered_json SlideshowJson(const std::optional<std::string>& text) {
    if (!text) return nullptr;
    const SlideshowSettings s = ParseSlideshowSettings(*text);
    ordered_json j;
    j["seconds"] = s.Seconds;
    j["order"] = s.Order == SlideOrder::Shuffle ? "shuffle" : "in-turn";
    j["fit"] = s.Fit == SlideFit::Fill ? "fill" : "fit";
    j["transition"] = s.Transition == SlideTransition::Cut ? "cut" : "fade";
    j["monitors"] = s.Monitors == SlideMonitors::Span      ? "span"
                    : s.Monitors == SlideMonitors::Primary ? "primary"
                                                           : "each";
    j["first"] = s.First;
    j["count"] = s.Count < 0 ? ordered_json(nullptr) : ordered_json(s.Count);
    return j;
}

std::string SlideshowLine(const std::optional<std::string>& text) {
    if (!text) return {};
    const ordered_json j = SlideshowJson(text);
    std::string line = "slideshow: a picture every " + std::to_string(int(j["seconds"])) + " s, " +
                       std::string(j["order"]) + ", " + std::string(j["fit"]) + ", " +
                       std::string(j["transition"]) + ", monitors " + std::string(j["monitors"]) +
                       ", slides from picture " + std::to_string(int(j["first"]));
    if (!j["count"].is_null()) line += " (" + std::to_string(int(j["count"])) + ")";
    return line;
}

ordered_json IndexJson(const PakReport& r) {
    ordered_json index = SpanJson(r.IndexSpan);
    index["moduleTableOffset"] = r.Index.ModuleTableOffset;
    index["moduleCount"] = r.Index.ModuleCount;
    index["keyTableOffset"] = r.Index.KeyTableOffset;
    index["keyCount"] = r.Index.KeyCount;
    index["contentCount"] = r.Index.ContentCount;
    index["contentTableOffset"] = r.Index.ContentTableOffset;
    index["settingsOffset"] = r.Index.SettingsOffset;
    return index;
}

ordered_json ModulesJson(const PakReport& r) {
    ordered_json modules = ordered_json::array();
    for (std::size_t i = 0; i < r.Modules.size(); ++i) {
        const PakModuleInfo& m = r.Modules[i];
        ordered_json module = {{"index", i}};
        module.update(SpanJson(m.Span));
        module["flags"] = m.Descriptor.Flags;
        module["external"] = (m.Descriptor.Flags & kModuleExternal) != 0;
        module["forceMaximize"] = (m.Descriptor.Flags & kModuleForceMaximize) != 0;
        module["argMethod"] = m.Descriptor.ArgMethod;
        module["nameOffset"] = m.Descriptor.NameOffset;
        module["dataOffset"] = m.Descriptor.DataOffset;
        module["name"] = StringJson(m.Name);
        module["data"] = m.Data ? DataJson(*m.Data) : ordered_json(nullptr);
        modules.push_back(module);
    }
    return modules;
}

ordered_json PicturesJson(const PakReport& r, const Facts& facts,
                          const std::vector<std::string>& roles) {
    ordered_json pictures = ordered_json::array();
    for (std::size_t i = 0; i < r.Pictures.size(); ++i) {
        const PakPictureInfo& p = r.Pictures[i];
        ordered_json picture = {{"index", i}};
        picture.update(SpanJson(p.Span));
        picture["type"] = PictureTypeName(p.Descriptor.PictureType);
        picture["pictureType"] = p.Descriptor.PictureType;
        picture["dataOffset"] = p.Descriptor.DataOffset;
        picture["data"] = DataJson(p.Data);
        picture["role"] = roles[i].empty() ? ordered_json(nullptr) : ordered_json(roles[i]);
        picture["kind"] = facts[i] ? ordered_json(facts[i]->Kind) : ordered_json(nullptr);
        picture["width"] = facts[i] ? ordered_json(facts[i]->Width) : ordered_json(nullptr);
        picture["height"] = facts[i] ? ordered_json(facts[i]->Height) : ordered_json(nullptr);
        pictures.push_back(picture);
    }
    return pictures;
}

ordered_json KeysJson(const PakReport& r) {
    ordered_json keys = ordered_json::array();
    for (std::size_t i = 0; i < r.Keys.size(); ++i) {
        const PakKeyInfo& k = r.Keys[i];
        ordered_json key = {{"index", i}};
        key.update(SpanJson(k.Span));
        key["key"] = k.Entry.Key;
        std::string name = KeyNameFromCode(k.Entry.Key);
        key["keyName"] = name.empty() ? ordered_json(nullptr) : ordered_json(name);
        key["function"] = FunctionName(k.Entry.Function);
        key["functionCode"] = k.Entry.Function;
        key["commandOffset"] = k.Entry.CommandOffset;
        key["command"] = k.Command ? StringJson(*k.Command) : ordered_json(nullptr);
        keys.push_back(key);
    }
    return keys;
}

ordered_json SettingsJson(const PakReport& r) {
    ordered_json settings = SpanJson(r.SettingsSpan);
    settings["link"] = Windows1252ToUtf8(r.Settings.URLLink);
    settings["caption"] = Windows1252ToUtf8(r.Settings.URLCaption);
    settings["music"] = r.Settings.Music;
    return settings;
}

ordered_json ReportJson(const PakReport& r, const Facts& facts,
                        const std::vector<std::string>& roles) {
    ordered_json j;
    j["file"] = r.Path;
    j["fileSize"] = r.FileSize;
    j["containerStart"] = r.ContainerStart;
    j["containerSize"] = ContainerEnd(r) - r.ContainerStart;
    j["trailer"] = SpanJson(r.TrailerSpan);
    j["trailer"]["indexOffset"] = r.Trailer.IndexOffset;
    j["index"] = IndexJson(r);
    j["moduleTable"] = TableJson(r.ModuleTable);
    j["contentTable"] = TableJson(r.ContentTable);
    j["keyTable"] = TableJson(r.KeyTable);
    j["modules"] = ModulesJson(r);
    j["pictures"] = PicturesJson(r, facts, roles);
    j["keys"] = KeysJson(r);
    j["settings"] = SettingsJson(r);
    j["signature"] = r.Signature ? SpanJson(*r.Signature) : ordered_json(nullptr);
    return j;
}

// One line of the table: a record's place and what it is.
struct Line {
    std::uint64_t Position;
    std::uint64_t Size;
    std::string What;
};
using Lines = std::vector<Line>;

std::string Quoted(const PakStringInfo& s) {
    return s.Text ? "\"" + TerminalText(*s.Text) + "\"" : std::string("(none)");
}

void AddModuleLines(const PakReport& r, Lines& lines) {
    for (std::size_t i = 0; i < r.Modules.size(); ++i) {
        const PakModuleInfo& m = r.Modules[i];
        std::string n = std::to_string(i);
        lines.push_back(
            {m.Name.Span.Position, m.Name.Span.Size, "module " + n + " name " + Quoted(m.Name)});
        if (m.Data)
            lines.push_back(
                {m.Data->Span.Position, m.Data->Span.Size,
                 "module " + n + " data (length " + std::to_string(m.Data->Length) + ")"});
        std::string flags;
        if (m.Descriptor.Flags & kModuleExternal) flags += " external";
        if (m.Descriptor.Flags & kModuleForceMaximize) flags += " force-maximize";
        lines.push_back({m.Span.Position, m.Span.Size,
                         "module " + n + " descriptor (flags " +
                             std::to_string(m.Descriptor.Flags) + flags + ", arg method " +
                             std::to_string(m.Descriptor.ArgMethod) + ")"});
    }
    if (r.ModuleTable.Span.Size)
        lines.push_back({r.ModuleTable.Span.Position, r.ModuleTable.Span.Size, "module table"});
}

void AddPictureLines(const PakReport& r, const Facts& facts, const std::vector<std::string>& roles,
                     Lines& lines) {
    for (std::size_t i = 0; i < r.Pictures.size(); ++i) {
        const PakPictureInfo& p = r.Pictures[i];
        std::string n = std::to_string(i);
        std::string about = (roles[i].empty() ? std::string("not shown") : roles[i]) + ", ";
        about += facts[i]
                     ? facts[i]->Kind + " " + std::to_string(facts[i]->Width) + " x " +
                           std::to_string(facts[i]->Height)
                     : std::string(PictureTypeName(p.Descriptor.PictureType)) + ", unrecognised";
        lines.push_back({p.Data.Span.Position, p.Data.Span.Size,
                         "picture " + n + " data (" + about + ", length " +
                             std::to_string(p.Data.Length) + ")"});
        lines.push_back({p.Span.Position, p.Span.Size, "picture " + n + " descriptor"});
    }
    if (r.ContentTable.Span.Size)
        lines.push_back({r.ContentTable.Span.Position, r.ContentTable.Span.Size, "content table"});
}

void AddKeyLines(const PakReport& r, Lines& lines) {
    for (std::size_t i = 0; i < r.Keys.size(); ++i) {
        const PakKeyInfo& k = r.Keys[i];
        std::string n = std::to_string(i);
        if (k.Command)
            lines.push_back({k.Command->Span.Position, k.Command->Span.Size,
                             "key " + n + " command " + Quoted(*k.Command)});
        std::string name = KeyNameFromCode(k.Entry.Key);
        lines.push_back({k.Span.Position, k.Span.Size,
                         "key " + n + " entry (" + (name.empty() ? std::string("code") : name) +
                             " " + std::to_string(k.Entry.Key) + ", " +
                             FunctionName(k.Entry.Function) + ")"});
    }
    if (r.KeyTable.Span.Size)
        lines.push_back({r.KeyTable.Span.Position, r.KeyTable.Span.Size, "key table"});
}

// The settings, the index, the trailer and any certificate table after them.
void AddFrameLines(const PakReport& r, Lines& lines) {
    lines.push_back({r.SettingsSpan.Position, r.SettingsSpan.Size,
                     "settings (link \"" + TerminalText(r.Settings.URLLink) + "\", caption \"" +
                         TerminalText(r.Settings.URLCaption) + "\", music " +
                         std::to_string(r.Settings.Music) + ")"});
    lines.push_back({r.IndexSpan.Position, r.IndexSpan.Size, "index"});
    lines.push_back({r.TrailerSpan.Position, r.TrailerSpan.Size, "trailer"});
    if (r.Signature) {
        std::uint64_t padding = r.Signature->Position - ContainerEnd(r);
        lines.push_back({r.Signature->Position, r.Signature->Size,
                         "certificate table (signature, after " + std::to_string(padding) +
                             " bytes of padding)"});
    }
}

// One line per record, in file order, like the layout tables in the README.
void PrintTable(const PakReport& r, const Facts& facts, const std::vector<std::string>& roles,
                std::ostream& out) {
    Lines lines;
    AddModuleLines(r, lines);
    AddPictureLines(r, facts, roles, lines);
    AddKeyLines(r, lines);
    AddFrameLines(r, lines);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.Position < b.Position; });

    out << PrintablePath(r.Path) << ": " << r.FileSize << " bytes, container at "
        << r.ContainerStart << " (" << ContainerEnd(r) - r.ContainerStart << " bytes)"
        << (r.Signature ? ", signed" : "") << "\n";
    out << std::setw(12) << "position" << std::setw(12) << "size"
        << "  record\n";
    for (const Line& line : lines)
        out << std::setw(12) << line.Position << std::setw(12) << line.Size << "  " << line.What
            << "\n";
}

}  // namespace

void ListSaver(const fs::path& file, bool json, std::ostream& out) {
    PakReport report = NamingFile(
        PathText(file), [&] { return InspectPak(PathText(file), InspectDepth::Records); });
    // Each picture's kind and size, from its header: a few bytes read beside the reader.
    Facts facts;
    std::ifstream in(file, std::ios::binary);
    for (const PakPictureInfo& p : report.Pictures)
        facts.push_back(
            ReadPictureFacts(in, p.Data.Span.Position, p.Data.Length, p.Descriptor.PictureType));
    const std::optional<SaverResources> resources = ReadSaverResources(file);
    const std::optional<std::string> slides = resources ? resources->Slideshow : std::nullopt;
    const std::vector<std::string> roles = PictureRoles(report.Pictures.size(), slides);
    if (json) {
        ordered_json j = ReportJson(report, facts, roles);
        j["saver"] = ordered_json::parse(SaverResourcesJson(resources));
        j["slideshow"] = SlideshowJson(slides);
        out << j.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
    } else {
        PrintTable(report, facts, roles, out);
        if (std::string saver = SaverResourcesLine(resources); !saver.empty()) out << saver << "\n";
        if (std::string show = SlideshowLine(slides); !show.empty()) out << show << "\n";
    }
}
