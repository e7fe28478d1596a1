#include "tools/saverpak/manifest/Manifest.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>

#include <toml++/toml.h>

#include "package/ModuleName.h"
#include "package/PakFormat.h"
#include "support/Path.h"
#include "tools/saverpak/io/Ansi.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/io/ToolMessages.h"
#include "tools/saverpak/manifest/KeyNames.h"
#include "tools/saverpak/manifest/VersionText.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPathHint =
    "Write a Windows path in single quotes, 'C:\\Snow\\show.exe', or with /, "
    "\"C:/Snow/show.exe\"";

class ManifestReader {
public:
    ManifestReader(std::string source, std::filesystem::path folder)
        : FSource(std::move(source)), FFolder(std::move(folder)) {}

    Manifest Read(const toml::table& root) {
        Manifest manifest;
        CheckKeys(root, "", {"module", "picture", "key", "settings", "saver", "slideshow"});
        ForEachTable(root, "module", [&](const toml::table& t, const std::string& where) {
            manifest.Modules.push_back(ReadModule(t, where));
        });
        ForEachTable(root, "picture", [&](const toml::table& t, const std::string& where) {
            CheckKeys(t, where, {"file"});
            manifest.Pictures.push_back({RequiredFile(t, where)});
        });
        ForEachTable(root, "key", [&](const toml::table& t, const std::string& where) {
            manifest.Keys.push_back(ReadKey(t, where));
        });
        CheckKeyCounts(manifest.Keys);
        if (const toml::node* node = root.get("settings")) {
            const toml::table* settings = node->as_table();
            if (!settings) Fail("settings", "must be a table ([settings])");
            ReadSettings(*settings, manifest);
        }
        if (const toml::node* node = root.get("slideshow")) {
            const toml::table* slideshow = node->as_table();
            if (!slideshow) Fail("slideshow", "must be a table ([slideshow])");
            manifest.Slideshow = ReadSlideshow(*slideshow);
        }
        if (manifest.Slideshow && !manifest.Modules.empty())
            Fail("",
                 "[slideshow] and [[module]] do not go together: the slideshow is the "
                 "saver's program; write one or the other");
        if (const toml::node* node = root.get("saver")) {
            const toml::table* saver = node->as_table();
            if (!saver) Fail("saver", "must be a table ([saver])");
            manifest.Saver = ReadSaver(*saver);
        }
        // Without a program the saver would only ever show a black screen.
        if (!manifest.Slideshow && manifest.Modules.empty())
            Fail("",
                 "the manifest names nothing to show: add [slideshow] (a saver of pictures) or a "
                 "[[module]] (the program the saver runs full-screen)");
        return manifest;
    }

private:
    [[noreturn]] void Fail(const std::string& where, const std::string& what) const {
        throw ToolError(FSource + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    void CheckKeys(const toml::table& t, const std::string& where,
                   std::initializer_list<std::string_view> allowed) const {
        for (auto&& [key, value] : t) {
            bool known = false;
            for (std::string_view a : allowed) known = known || key.str() == a;
            if (known) continue;
            const toml::source_position at = key.source().begin;
            const std::string nearest =
                NearestWord(key.str(), std::vector<std::string>(allowed.begin(), allowed.end()));
            throw ToolError(FSource + ":" + std::to_string(at.line) + ":" +
                            std::to_string(at.column) + ": " + (where.empty() ? "" : where + ": ") +
                            "unknown entry '" + std::string(key.str()) + "'" +
                            (nearest.empty() ? "" : "; did you mean '" + nearest + "'?"));
        }
    }

    template <typename F>
    void ForEachTable(const toml::table& root, const char* name, F&& take) const {
        const toml::node* node = root.get(name);
        if (!node) return;
        const toml::array* array = node->as_array();
        if (!array) Fail(name, std::string("must be written as [[") + name + "]] tables");
        for (std::size_t i = 0; i < array->size(); ++i) {
            std::string where = std::string(name) + " " + std::to_string(i);
            const toml::table* t = (*array)[i].as_table();
            if (!t) Fail(where, std::string("must be written as a [[") + name + "]] table");
            take(*t, where);
        }
    }

    std::optional<std::string> OptionalText(const toml::table& t, const std::string& where,
                                            const char* key) const {
        const toml::node* node = t.get(key);
        if (!node) return std::nullopt;
        auto text = node->value<std::string>();
        if (!text || !node->is_string()) Fail(where, std::string("'") + key + "' must be a string");
        std::string ansi;
        if (!Utf8ToAnsi(*text, ansi))
            Fail(where, std::string("'") + key +
                            "' holds a character that Windows-1252 (the saver's code page) lacks");
        return ansi;
    }

    // A Windows path in double quotes has its backslashes read as escapes: "C:\new\x.exe"
    // holds a line break. TOML leaves such a text valid, so the path is checked here.
    void RefuseEscapedControls(const std::string& where, const char* key,
                               const std::string& text) const {
        if (text.find_first_of("\b\t\n\f\r") == std::string::npos) return;
        Fail(where, std::string("'") + key +
                        "' holds a line break, tab or other control character: in double "
                        "quotes \\n, \\t, \\r, \\b and \\f stand for them. " +
                        kPathHint);
    }

    bool OptionalBool(const toml::table& t, const std::string& where, const char* key) const {
        const toml::node* node = t.get(key);
        if (!node) return false;
        if (!node->is_boolean()) Fail(where, std::string("'") + key + "' must be true or false");
        return *node->value<bool>();
    }

    std::filesystem::path RequiredFile(const toml::table& t, const std::string& where,
                                       const std::string& key = "file") const {
        const toml::node* node = t.get(key);
        if (!node) Fail(where, "'" + key + "' is required");
        if (!node->is_string()) Fail(where, "'" + key + "' must be a string");
        return FileFromText(*node->value<std::string>(), where, key);
    }

    std::filesystem::path FileFromText(const std::string& text, const std::string& where,
                                       const std::string& key) const {
        if (text.empty()) Fail(where, "'" + key + "' is empty");
        RefuseEscapedControls(where, key.c_str(), text);
        // TOML text is UTF-8; so are the file names the tool is given.
        std::filesystem::path file(reinterpret_cast<const char8_t*>(text.c_str()));
        // One separator in every message: the system's ("content/x.jpg" on Windows too).
        return (file.is_absolute() ? file : FFolder / file).make_preferred();
    }

    ManifestModule ReadModule(const toml::table& t, const std::string& where) const {
        CheckKeys(t, where, {"file", "name", "external", "force-maximize", "arg-method"});
        ManifestModule module;
        module.External = OptionalBool(t, where, "external");
        module.ForceMaximize = OptionalBool(t, where, "force-maximize");
        module.Name = OptionalText(t, where, "name");
        if (const toml::node* node = t.get("arg-method")) {
            auto value = node->value<std::int64_t>();
            if (!node->is_integer() || *value < 0 || *value > 255)
                Fail(where, "'arg-method' must be an integer from 0 to 255");
            module.ArgMethod = static_cast<std::uint8_t>(*value);
        }
        if (module.Name) RefuseEscapedControls(where, "name", *module.Name);
        if (module.External) {
            if (t.contains("file"))
                Fail(where, "an external module names its program with 'name', not 'file'");
            if (!module.Name || module.Name->empty())
                Fail(where, "an external module needs 'name', the path of its program");
            for (char c : *module.Name) {
                if (static_cast<unsigned char>(c) < 0x20)
                    Fail(where, "'name' contains a control character");
            }
            if (module.Name->size() >= kPathCharacters)
                Fail(where, "'name' is longer than 259 characters");
            if (IsArgumentFileName(*module.Name))
                Fail(where,
                     "'name' ends in \".cfg\", the extension of the argument file the "
                     "saver writes beside the program");
        } else {
            module.File = RequiredFile(t, where);
            if (module.Name) {
                if (const char* problem = ModuleNameProblem(*module.Name))
                    Fail(where, "'name' " + std::string(problem) +
                                    "; it must be a plain file name for the temporary folder");
            }
        }
        return module;
    }

    ManifestKey ReadKey(const toml::table& t, const std::string& where) const {
        CheckKeys(t, where, {"key", "function", "command"});
        ManifestKey key;
        const toml::node* code = t.get("key");
        if (!code) Fail(where, "'key' is required");
        if (code->is_string()) {
            std::string name = *code->value<std::string>();
            auto value = KeyCodeFromName(name);
            if (!value)
                Fail(where, "unknown key name '" + name + "' (use a name such as F1 or a code)");
            key.Code = *value;
        } else if (code->is_integer()) {
            std::int64_t value = *code->value<std::int64_t>();
            if (value < 1 || value > 254) Fail(where, "'key' code must be from 1 to 254");
            key.Code = static_cast<std::uint32_t>(value);
        } else {
            Fail(where, "'key' must be a key name or a virtual-key code");
        }
        const toml::node* function = t.get("function");
        if (!function) Fail(where, "'function' is required");
        std::string name = function->value<std::string>().value_or("");
        if (name == "exit-and-leave-running") {
            key.Function = kExitAndLeaveRunning;
            if (t.contains("command")) Fail(where, "'command' belongs to shell-execute keys only");
        } else if (name == "shell-execute") {
            key.Function = kShellExecute;
            key.Command = OptionalText(t, where, "command");
            if (key.Command) RefuseEscapedControls(where, "command", *key.Command);
            if (!key.Command || key.Command->empty())
                Fail(where, "a shell-execute key needs a 'command'");
            if (key.Command->find('\0') != std::string::npos)
                Fail(where, "'command' contains a zero character");
        } else {
            Fail(where, "'function' must be \"exit-and-leave-running\" or \"shell-execute\"");
        }
        return key;
    }

    void CheckKeyCounts(const std::vector<ManifestKey>& keys) const {
        std::set<std::uint32_t> distinct;
        for (const ManifestKey& key : keys) distinct.insert(key.Code);
        if (distinct.size() > 20)
            Fail("key", "the saver holds at most 20 distinct keys; the manifest has " +
                            std::to_string(distinct.size()));
        if (keys.size() > kMaxKeyEntries)
            Fail("key", "the saver reads at most 32 key entries; the manifest has " +
                            std::to_string(keys.size()));
    }

    void ReadSettings(const toml::table& t, Manifest& manifest) const {
        CheckKeys(t, "settings", {"link", "caption", "music"});
        manifest.Link = OptionalText(t, "settings", "link").value_or("");
        manifest.Caption = OptionalText(t, "settings", "caption").value_or("");
        if (manifest.Link.size() > kUrlLinkSize - 1)
            Fail("settings", "'link' is longer than 299 characters");
        if (manifest.Caption.size() > kUrlCaptionSize - 1)
            Fail("settings", "'caption' is longer than 255 characters");
        if (manifest.Link.find('\0') != std::string::npos ||
            manifest.Caption.find('\0') != std::string::npos)
            Fail("settings", "'link' and 'caption' may not contain a zero character");
        manifest.Music = OptionalBool(t, "settings", "music") ? 1 : 0;
    }

    // One of the words a setting takes.
    template <typename T>
    T Choice(const toml::table& t, const char* key, T fallback,
             std::initializer_list<std::pair<const char*, T>> words) const {
        const toml::node* node = t.get(key);
        if (!node) return fallback;
        const std::string text = node->value<std::string>().value_or("");
        std::string allowed;
        for (const auto& [word, value] : words) {
            if (node->is_string() && text == word) return value;
            allowed += std::string(allowed.empty() ? "" : " or ") + "\"" + word + "\"";
        }
        Fail("slideshow", std::string("'") + key + "' must be " + allowed);
    }

    ManifestSlideshow ReadSlideshow(const toml::table& t) const {
        CheckKeys(t, "slideshow",
                  {"pictures", "seconds", "order", "fit", "transition", "monitors"});
        ManifestSlideshow show;
        const toml::array* pictures = t.get("pictures") ? t.get("pictures")->as_array() : nullptr;
        if (!pictures)
            Fail("slideshow", "'pictures' is required: a list of picture files and folders");
        if (pictures->empty()) Fail("slideshow", "'pictures' is empty");
        for (const toml::node& entry : *pictures) {
            if (!entry.is_string())
                Fail("slideshow", "'pictures' must list file and folder names as strings");
            show.Pictures.push_back(
                FileFromText(*entry.value<std::string>(), "slideshow", "pictures"));
        }
        SlideshowSettings& s = show.Settings;
        if (const toml::node* node = t.get("seconds")) {
            const auto value = node->value<std::int64_t>();
            if (!node->is_integer() || *value < kMinSlideSeconds || *value > kMaxSlideSeconds)
                Fail("slideshow", "'seconds' must be a whole number from 2 to 3600");
            s.Seconds = static_cast<std::int32_t>(*value);
        }
        s.Order = Choice(t, "order", s.Order,
                         {{"in-turn", SlideOrder::InTurn}, {"shuffle", SlideOrder::Shuffle}});
        s.Fit = Choice(t, "fit", s.Fit, {{"fit", SlideFit::Fit}, {"fill", SlideFit::Fill}});
        s.Transition = Choice(t, "transition", s.Transition,
                              {{"fade", SlideTransition::Fade}, {"cut", SlideTransition::Cut}});
        s.Monitors = Choice(t, "monitors", s.Monitors,
                            {{"each", SlideMonitors::Each},
                             {"span", SlideMonitors::Span},
                             {"primary", SlideMonitors::Primary}});
        return show;
    }

    // A resource text: UTF-16 in the saver, so any letter, but no control character.
    std::optional<std::u16string> SaverText(const toml::table& t, const char* key) const {
        const toml::node* node = t.get(key);
        if (!node) return std::nullopt;
        if (!node->is_string()) Fail("saver", std::string("'") + key + "' must be a string");
        auto text = Utf8ToUtf16(*node->value<std::string>());
        if (!text) Fail("saver", std::string("'") + key + "' is not UTF-8 text");
        if (text->empty()) Fail("saver", std::string("'") + key + "' is empty");
        if (text->size() > kMaxSaverText)
            Fail("saver", std::string("'") + key + "' is longer than " +
                              std::to_string(kMaxSaverText) + " characters");
        for (char16_t c : *text) {
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
                Fail("saver", std::string("'") + key + "' contains a control character");
        }
        return text;
    }

    ManifestSaver ReadSaver(const toml::table& t) const {
        CheckKeys(t, "saver",
                  {"name", "description", "product", "company", "version", "copyright", "icon"});
        ManifestSaver saver;
        saver.Name = SaverText(t, "name");
        saver.Description = SaverText(t, "description");
        saver.Product = SaverText(t, "product");
        saver.Company = SaverText(t, "company");
        saver.Copyright = SaverText(t, "copyright");
        if (const toml::node* node = t.get("version")) {
            if (!node->is_string() || !ParseVersionText(*node->value<std::string>()))
                Fail("saver",
                     "'version' must be a string such as \"1.2.3\" or \"1.2.3.4\" (each part 0 to "
                     "65535)");
            saver.Version = *node->value<std::string>();
        }
        if (t.contains("icon")) saver.Icon = RequiredFile(t, "saver", "icon");
        return saver;
    }

    std::string FSource;
    std::filesystem::path FFolder;
};

// A manifest saved as UTF-16 (Notepad's "Unicode") or in a code page (Windows-1252) is told so,
// with where the first byte that is not UTF-8 stands, before TOML sees it.
void RefuseUnlessUtf8(const std::string& text, const std::string& sourceName) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    constexpr const char* kSaveAs = "; save it as UTF-8 (in Notepad: Save As, Encoding UTF-8)";
    if (size >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        throw ToolError(sourceName + ": the manifest is UTF-16 text" + kSaveAs);
    // Without its byte-order mark UTF-16 shows as zero bytes in every other place (TOML, being
    // text, holds none): in the first pair, as a line of ASCII begins.
    if (size >= 2 && (bytes[0] == 0) != (bytes[1] == 0))
        throw ToolError(sourceName + ": the manifest is UTF-16 text" + kSaveAs);
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        char32_t cp;
        const std::size_t length = Utf8SequenceAt(text, i, cp);
        if (length == 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", lead);
            throw ToolError(sourceName + ":" + std::to_string(line) + ":" + std::to_string(column) +
                            ": the manifest is not UTF-8 text (byte " + byte +
                            "; it may be in Windows-1252)" + kSaveAs);
        }
        if (lead == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        i += length;
    }
}

bool IsPictureName(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png" || extension == ".jpg" || extension == ".jpeg" ||
           extension == ".bmp";
}

// A folder's pictures in the order of their names; the files passed over go to `skipped`.
std::vector<fs::path> FolderPictures(const fs::path& folder, std::vector<std::string>& skipped) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (path.filename().string().starts_with(".")) continue;  // hidden
        std::error_code kind;
        if (!it->is_regular_file(kind)) continue;  // folders inside are not looked into
        if (IsPictureName(path)) {
            found.push_back(path);
        } else {
            skipped.push_back(PathText(path.filename()));
        }
    }
    if (error)
        throw ToolError("slideshow: cannot read the folder " + PathText(folder) + ": " +
                        error.message());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

std::vector<fs::path> SlidePictures(const ManifestSlideshow& slideshow, std::ostream& notes) {
    std::vector<fs::path> pictures;
    std::vector<std::string> skipped;
    for (const fs::path& entry : slideshow.Pictures) {
        std::error_code error;
        const fs::file_status status = fs::status(entry, error);
        if (fs::is_directory(status)) {
            std::vector<fs::path> found = FolderPictures(entry, skipped);
            if (found.empty())
                throw ToolError("slideshow: the folder " + PathText(entry) +
                                " holds no pictures (PNG, JPEG or BMP)");
            pictures.insert(pictures.end(), found.begin(), found.end());
        } else if (fs::exists(status)) {
            pictures.push_back(entry);
        } else {
            throw ToolError("slideshow: cannot find the picture " + PathText(entry));
        }
        if (pictures.size() > kMaxSlides)
            throw ToolError("slideshow: more than " + std::to_string(kMaxSlides) +
                            " pictures; a slideshow shows at most that many");
    }
    if (!skipped.empty()) {
        std::sort(skipped.begin(), skipped.end());
        notes << "saverpak: note: slideshow: not pictures, passed over:";
        for (const std::string& name : skipped) notes << " " << name;
        notes << std::endl;
    }
    return pictures;
}

Manifest ParseManifest(const std::string& text, const std::string& sourceName,
                       const std::filesystem::path& folder) {
    RefuseUnlessUtf8(text, sourceName);
    toml::table root;
    try {
        root = toml::parse(text, sourceName);
    } catch (const toml::parse_error& error) {
        std::ostringstream message;
        message << sourceName << ":" << error.source().begin.line << ":"
                << error.source().begin.column << ": " << error.description();
        // A backslash in double quotes begins an escape: most often a Windows path.
        if (error.description().find("escape sequence") != std::string_view::npos)
            message << ". In double quotes a backslash begins an escape. " << kPathHint;
        throw ToolError(message.str());
    }
    return ManifestReader(sourceName, folder).Read(root);
}

Manifest LoadManifest(const std::filesystem::path& path) {
    // A manifest is a page of text; a device or a pipe (/dev/zero) would be read without end,
    // and the size is checked again while reading, in case the file grows.
    constexpr std::size_t kMaxManifestSize = 1 << 20;
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        throw ToolError("cannot open the manifest " + PathText(path));
    if (!std::filesystem::is_regular_file(status))
        throw ToolError("the manifest " + PathText(path) + " is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("cannot open the manifest " + PathText(path));
    std::string text(kMaxManifestSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw ToolError("cannot read the manifest " + PathText(path));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxManifestSize)
        throw ToolError("the manifest " + PathText(path) + " is larger than 1 MiB");
    std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    return ParseManifest(text, PathText(path), folder);
}
