#include "tools/saverpak/stub/VersionInfo.h"

#include <charconv>

#include "support/Bytes.h"
#include "tools/saverpak/io/Ansi.h"

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 52;

// One node of the version resource: length, value length, type, key, value, children, each
// part on a 4-byte boundary from the resource's start.
struct Node {
    std::u16string Key;
    std::span<const std::uint8_t> Value;
    std::vector<Node> Children;
    bool IsText = false;
};

std::size_t Align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Reads the node at `at` within `bytes` (positions relative to the resource's start, which is
// 4-byte aligned). Depth is bounded by the caller.
std::optional<Node> ReadNode(std::span<const std::uint8_t> bytes, std::size_t at, int depth) {
    if (depth > 4 || at + 6 > bytes.size()) return std::nullopt;
    const std::size_t length = LoadLe16(&bytes[at]), valueLength = LoadLe16(&bytes[at + 2]);
    const std::uint16_t type = LoadLe16(&bytes[at + 4]);
    if (length < 6 || at + length > bytes.size() || type > 1) return std::nullopt;
    const std::size_t end = at + length;
    Node node;
    node.IsText = type == 1;
    std::size_t p = at + 6;
    for (;;) {
        if (p + 2 > end) return std::nullopt;
        char16_t c = static_cast<char16_t>(LoadLe16(&bytes[p]));
        p += 2;
        if (c == 0) break;
        node.Key.push_back(c);
    }
    p = Align4(p);
    if (p > end) return std::nullopt;
    const std::size_t valueBytes = node.IsText ? 2 * valueLength : valueLength;
    if (p + valueBytes > end) {
        // Some writers count a text value in bytes; accept what fits.
        if (!node.IsText || p + valueLength > end) return std::nullopt;
    }
    node.Value = bytes.subspan(p, std::min(valueBytes, end - p));
    p = Align4(p + node.Value.size());
    while (p + 6 <= end) {
        auto child = ReadNode(bytes, p, depth + 1);
        if (!child) return std::nullopt;
        const std::size_t childLength = LoadLe16(&bytes[p]);
        node.Children.push_back(std::move(*child));
        p = Align4(p + childLength);
    }
    return node;
}

std::u16string TextValue(std::span<const std::uint8_t> value) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t c = static_cast<char16_t>(LoadLe16(&value[i]));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

class NodeWriter {
public:
    // Appends a node; `children` writes the children in place.
    template <typename Children>
    void Add(const std::u16string& key, std::span<const std::uint8_t> value,
             std::uint16_t valueLength, bool text, Children&& children) {
        Pad();
        const std::size_t at = FOut.size();
        Put16(0);
        Put16(valueLength);
        Put16(text ? 1 : 0);
        for (char16_t c : key) Put16(c);
        Put16(0);
        Pad();
        FOut.insert(FOut.end(), value.begin(), value.end());
        children();
        StoreLe16(&FOut[at], static_cast<std::uint16_t>(FOut.size() - at));
    }
    void AddText(const std::u16string& key, const std::u16string& value) {
        std::vector<std::uint8_t> bytes;
        for (char16_t c : value) AppendLe16(bytes, c);
        AppendLe16(bytes, 0);
        Add(key, bytes, static_cast<std::uint16_t>(value.size() + 1), true, [] {});
    }
    std::vector<std::uint8_t> Take() { return std::move(FOut); }

private:
    void Put16(std::uint16_t v) { AppendLe16(FOut, v); }
    void Pad() {
        while (FOut.size() % 4) FOut.push_back(0);
    }
    std::vector<std::uint8_t> FOut;
};

VersionNumber Split(std::uint32_t ms, std::uint32_t ls) {
    return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
            static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
}

}  // namespace

std::optional<VersionInfo> VersionInfo::Parse(std::span<const std::uint8_t> bytes) {
    auto root = ReadNode(bytes, 0, 0);
    if (!root || root->Key != u"VS_VERSION_INFO" || root->Value.size() < kFixedSize ||
        LoadLe32(root->Value.data()) != kFixedSignature)
        return std::nullopt;
    VersionInfo info;
    const std::uint8_t* f = root->Value.data();
    info.FileVersion = Split(LoadLe32(f + 8), LoadLe32(f + 12));
    info.ProductVersion = Split(LoadLe32(f + 16), LoadLe32(f + 20));
    info.FlagsMask = LoadLe32(f + 24);
    info.Flags = LoadLe32(f + 28);
    info.Os = LoadLe32(f + 32);
    info.Type = LoadLe32(f + 36);
    info.Subtype = LoadLe32(f + 40);
    for (const Node& child : root->Children) {
        if (child.Key != u"StringFileInfo" || child.Children.empty()) continue;
        const Node& table = child.Children.front();
        info.TableKey = table.Key;
        for (const Node& s : table.Children) info.Strings[s.Key] = TextValue(s.Value);
        break;
    }
    return info;
}

std::vector<std::uint8_t> VersionInfo::Write() const {
    std::vector<std::uint8_t> fixed(kFixedSize, 0);
    auto put = [&](std::size_t at, std::uint32_t v) { StoreLe32(&fixed[at], v); };
    put(0, kFixedSignature);
    put(4, 0x00010000);
    put(8, static_cast<std::uint32_t>(FileVersion[0]) << 16 | FileVersion[1]);
    put(12, static_cast<std::uint32_t>(FileVersion[2]) << 16 | FileVersion[3]);
    put(16, static_cast<std::uint32_t>(ProductVersion[0]) << 16 | ProductVersion[1]);
    put(20, static_cast<std::uint32_t>(ProductVersion[2]) << 16 | ProductVersion[3]);
    put(24, FlagsMask);
    put(28, Flags);
    put(32, Os);
    put(36, Type);
    put(40, Subtype);
    // The string table's key names its language and code page; the translation says the same.
    std::uint32_t language = 0x0409, codePage = 1200;
    if (TableKey.size() == 8) {
        std::string hex(TableKey.begin(), TableKey.end());
        std::uint32_t value = 0;
        auto [end, error] = std::from_chars(hex.data(), hex.data() + 8, value, 16);
        if (error == std::errc() && end == hex.data() + 8) {
            language = value >> 16;
            codePage = value & 0xFFFF;
        }
    }
    std::uint8_t translation[4];
    StoreLe16(translation, static_cast<std::uint16_t>(language));
    StoreLe16(translation + 2, static_cast<std::uint16_t>(codePage));
    NodeWriter w;
    w.Add(u"VS_VERSION_INFO", fixed, kFixedSize, false, [&] {
        w.Add(u"StringFileInfo", {}, 0, true, [&] {
            w.Add(TableKey, {}, 0, true, [&] {
                for (const auto& [key, value] : Strings) w.AddText(key, value);
            });
        });
        w.Add(u"VarFileInfo", {}, 0, true,
              [&] { w.Add(u"Translation", translation, 4, false, [] {}); });
    });
    return w.Take();
}

const std::u16string* VersionInfo::String(const std::u16string& key) const {
    auto it = Strings.find(key);
    return it == Strings.end() ? nullptr : &it->second;
}
