#include "tools/saverpak/stub/ResourceTree.h"

#include "support/Bytes.h"
#include "tools/saverpak/stub/PeLayout.h"

namespace {

constexpr std::uint32_t kDirectorySize = 16;
constexpr std::uint32_t kEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000;
constexpr std::size_t kMaxEntries = 4096;  // in one directory; a saver has a dozen

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

class TreeReader {
public:
    TreeReader(std::span<const std::uint8_t> section, std::uint32_t base)
        : FSection(section), FBase(base) {}

    void Need(std::uint64_t offset, std::uint64_t size, const char* what) const {
        if (offset + size > FSection.size())
            throw FormatError(std::string("its resource ") + what +
                              " lies outside the resource section");
    }
    std::uint16_t Le16(std::uint64_t at) const { return LoadLe16(&FSection[at]); }
    std::uint32_t Le32(std::uint64_t at) const { return LoadLe32(&FSection[at]); }

    // The entries of the directory at `offset`, as (key, entry's second field).
    std::vector<std::pair<ResourceKey, std::uint32_t>> Directory(std::uint32_t offset) {
        Need(offset, kDirectorySize, "directory");
        const std::size_t count = static_cast<std::size_t>(Le16(offset + 12)) + Le16(offset + 14);
        if (count > kMaxEntries) throw FormatError("its resource directory has too many entries");
        Need(offset + kDirectorySize, count * kEntrySize, "directory");
        if ((FVisited += count) > 8 * kMaxEntries)
            throw FormatError("its resource tree is too large");
        std::vector<std::pair<ResourceKey, std::uint32_t>> entries;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t at = offset + kDirectorySize + i * kEntrySize;
            const std::uint32_t name = Le32(at);
            ResourceKey key;
            if (name & kSubdirectoryBit) {
                const std::uint32_t s = name & ~kSubdirectoryBit;
                Need(s, 2, "name");
                const std::uint16_t length = Le16(s);
                Need(s + 2, 2ull * length, "name");
                for (std::uint16_t c = 0; c < length; ++c)
                    key.Name.push_back(static_cast<char16_t>(Le16(s + 2 + 2ull * c)));
                if (key.Name.empty()) throw FormatError("a resource has an empty name");
            } else {
                if (name > 0xFFFF) throw FormatError("a resource has a number above 65535");
                key.Id = static_cast<std::uint16_t>(name);
            }
            entries.emplace_back(std::move(key), Le32(at + 4));
        }
        return entries;
    }

    std::uint32_t Subdirectory(std::uint32_t field) const {
        if (!(field & kSubdirectoryBit))
            throw FormatError("its resource tree is not three levels deep");
        return field & ~kSubdirectoryBit;
    }

    ResourceData Data(std::uint32_t field) const {
        if (field & kSubdirectoryBit)
            throw FormatError("its resource tree is deeper than three levels");
        Need(field, kDataEntrySize, "data entry");
        const std::uint32_t rva = Le32(field), size = Le32(field + 4);
        if (rva < FBase) throw FormatError("a resource's data lies outside the resource section");
        Need(static_cast<std::uint64_t>(rva) - FBase, size, "data");
        ResourceData data;
        data.Bytes.assign(FSection.begin() + (rva - FBase),
                          FSection.begin() + (rva - FBase + size));
        data.CodePage = Le32(field + 8);
        return data;
    }

private:
    std::span<const std::uint8_t> FSection;
    std::uint32_t FBase;
    std::size_t FVisited = 0;
};

using TypeMap = std::map<ResourceKey, ResourceTree::Names>;

std::size_t NameSize(const ResourceKey& key) { return key.IsName() ? 2 + 2 * key.Name.size() : 0; }

// How many of a directory's entries are named and how many numbered.
template <class Map>
std::pair<std::size_t, std::size_t> Counts(const Map& map) {
    std::size_t named = 0;
    for (const auto& item : map) named += item.first.IsName() ? 1 : 0;
    return std::pair{named, map.size() - named};
}

// Where each part of the section starts: every directory first, then data entries, names, data.
struct SectionPlan {
    std::size_t EntryStart = 0, NameStart = 0, DataStart = 0, Total = 0;
};

SectionPlan PlanSection(const TypeMap& types) {
    std::size_t directories = kDirectorySize + types.size() * kEntrySize;
    std::size_t dataEntries = 0, names = 0;
    for (const auto& [type, typeNames] : types) {
        names += NameSize(type);
        directories += kDirectorySize + typeNames.size() * kEntrySize;
        for (const auto& [name, languages] : typeNames) {
            names += NameSize(name);
            directories += kDirectorySize + languages.size() * kEntrySize;
            dataEntries += languages.size();
        }
    }
    SectionPlan plan;
    plan.EntryStart = directories;
    plan.NameStart = plan.EntryStart + dataEntries * kDataEntrySize;
    plan.DataStart = (plan.NameStart + names + 7) / 8 * 8;
    plan.Total = plan.DataStart;
    for (const auto& [type, typeNames] : types)
        for (const auto& [name, languages] : typeNames)
            for (const auto& [language, data] : languages)
                plan.Total = (plan.Total + data.Bytes.size() + 7) / 8 * 8;
    return plan;
}

// Fills a section laid out by PlanSection, each part from its own next free position.
class SectionWriter {
public:
    SectionWriter(const SectionPlan& plan, std::uint32_t base)
        : FOut(plan.Total, 0),
          FNextEntry(plan.EntryStart),
          FNextName(plan.NameStart),
          FNextData(plan.DataStart),
          FBase(base) {}

    std::vector<std::uint8_t>& Out() { return FOut; }

    std::size_t Directory(std::size_t named, std::size_t numbered) {
        const std::size_t at = FNextDirectory;
        StoreLe16(&FOut[at + 12], static_cast<std::uint16_t>(named));
        StoreLe16(&FOut[at + 14], static_cast<std::uint16_t>(numbered));
        FNextDirectory += kDirectorySize + (named + numbered) * kEntrySize;
        return at;
    }

    void Key(std::size_t entry, const ResourceKey& k) {
        if (!k.IsName()) return StoreLe32(&FOut[entry], k.Id);
        StoreLe32(&FOut[entry], static_cast<std::uint32_t>(FNextName) | kSubdirectoryBit);
        StoreLe16(&FOut[FNextName], static_cast<std::uint16_t>(k.Name.size()));
        for (std::size_t i = 0; i < k.Name.size(); ++i)
            StoreLe16(&FOut[FNextName + 2 + 2 * i], k.Name[i]);
        FNextName += NameSize(k);
    }

    // The entries of the language directory at `languageDir`, their data entries and data.
    void Languages(std::size_t languageDir, const ResourceTree::Languages& languages) {
        std::size_t l = 0;
        for (const auto& [language, data] : languages) {
            const std::size_t e = languageDir + kDirectorySize + l * kEntrySize;
            StoreLe32(&FOut[e], language);
            StoreLe32(&FOut[e + 4], static_cast<std::uint32_t>(FNextEntry));
            StoreLe32(&FOut[FNextEntry], static_cast<std::uint32_t>(FBase + FNextData));
            StoreLe32(&FOut[FNextEntry + 4], static_cast<std::uint32_t>(data.Bytes.size()));
            StoreLe32(&FOut[FNextEntry + 8], data.CodePage);
            std::copy(data.Bytes.begin(), data.Bytes.end(),
                      FOut.begin() + static_cast<std::ptrdiff_t>(FNextData));
            FNextEntry += kDataEntrySize;
            FNextData = (FNextData + data.Bytes.size() + 7) / 8 * 8;
            ++l;
        }
    }

private:
    std::vector<std::uint8_t> FOut;
    std::size_t FNextDirectory = 0, FNextEntry, FNextName, FNextData;
    std::uint32_t FBase;
};

}  // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
    // Named entries come first, in the order the loader's search expects.
    if (IsName() != other.IsName()) return IsName();
    if (!IsName()) return Id < other.Id;
    const std::size_t n = std::min(Name.size(), other.Name.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t a = Upper(Name[i]), b = Upper(other.Name[i]);
        if (a != b) return a < b;
    }
    if (Name.size() != other.Name.size()) return Name.size() < other.Name.size();
    return Name < other.Name;
}

ResourceTree ResourceTree::Parse(std::span<const std::uint8_t> section, std::uint32_t base,
                                 std::uint32_t rootOffset) {
    TreeReader reader(section, base);
    ResourceTree tree;
    for (auto& [type, typeField] : reader.Directory(rootOffset)) {
        Names& names = tree.Types[type];
        for (auto& [name, nameField] : reader.Directory(reader.Subdirectory(typeField))) {
            Languages& languages = names[name];
            for (auto& [language, dataField] : reader.Directory(reader.Subdirectory(nameField))) {
                if (language.IsName()) throw FormatError("a resource's language has a name");
                languages[language.Id] = reader.Data(dataField);
            }
        }
    }
    return tree;
}

std::vector<std::uint8_t> ResourceTree::Write(std::uint32_t base) const {
    SectionWriter writer(PlanSection(Types), base);
    std::vector<std::uint8_t>& out = writer.Out();
    auto [namedTypes, numberedTypes] = Counts(Types);
    const std::size_t root = writer.Directory(namedTypes, numberedTypes);
    // Breadth first: the type directories' entries must be known before their children's.
    std::size_t t = 0;
    std::vector<std::size_t> typeDirs;
    for (const auto& [type, typeNames] : Types) {
        auto [named, numbered] = Counts(typeNames);
        typeDirs.push_back(writer.Directory(named, numbered));
        writer.Key(root + kDirectorySize + t * kEntrySize, type);
        StoreLe32(&out[root + kDirectorySize + t * kEntrySize + 4],
                  static_cast<std::uint32_t>(typeDirs.back()) | kSubdirectoryBit);
        ++t;
    }
    t = 0;
    for (const auto& [type, typeNames] : Types) {
        std::size_t n = 0;
        for (const auto& [name, languages] : typeNames) {
            const std::size_t entry = typeDirs[t] + kDirectorySize + n * kEntrySize;
            const std::size_t languageDir = writer.Directory(0, languages.size());
            writer.Key(entry, name);
            StoreLe32(&out[entry + 4], static_cast<std::uint32_t>(languageDir) | kSubdirectoryBit);
            writer.Languages(languageDir, languages);
            ++n;
        }
        ++t;
    }
    return std::move(out);
}

ResourceTree::Names* ResourceTree::Find(const ResourceKey& type) {
    auto it = Types.find(type);
    return it == Types.end() ? nullptr : &it->second;
}

const ResourceTree::Names* ResourceTree::Find(const ResourceKey& type) const {
    auto it = Types.find(type);
    return it == Types.end() ? nullptr : &it->second;
}

const ResourceData* ResourceTree::First(const ResourceKey& type, ResourceKey* name,
                                        std::uint16_t* language) const {
    const Names* names = Find(type);
    if (!names) return nullptr;
    for (const auto& [n, languages] : *names) {
        if (languages.empty()) continue;
        if (name) *name = n;
        if (language) *language = languages.begin()->first;
        return &languages.begin()->second;
    }
    return nullptr;
}
