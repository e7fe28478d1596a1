#include "tools/saverpak/stub/Branding.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "package/PakFormat.h"
#include "support/Bytes.h"
#include "tools/saverpak/io/PathText.h"
#include "tools/saverpak/io/ToolError.h"
#include "tools/saverpak/pictures/StorablePicture.h"
#include "tools/saverpak/stub/PeLayout.h"
#include "tools/saverpak/stub/ResourceTree.h"

namespace fs = std::filesystem;

namespace {

// The saver program carries this resource (presentation/resources/SaverMarker.rc), and so may
// test programs that stand in for it.
const ResourceKey kMarkerName = ResourceKey::Named(u"SAVERPAK_SAVER");
// The slideshow program's settings; language neutral, so any system finds them.
const ResourceKey kSlideshowName = ResourceKey::Named(u"SLIDESHOW");
constexpr std::uint16_t kNeutralLanguage = 0;
constexpr std::uint32_t kMaxResourceSection = 64u << 20;
constexpr std::uint16_t kDefaultLanguage = 0x0409;

const std::string kBuildFromSaver = "build from the saver program Saverpak.scr";

struct LoadedResources {
    PeLayout Layout;
    std::optional<ResourceTree> Tree;  // none when the image has no resources
    std::vector<std::uint8_t> Section;
    std::uint32_t SectionAddress = 0;
};

// Throws FormatError for an image the tool cannot read.
LoadedResources LoadResources(std::span<const std::uint8_t> head, std::uint64_t length,
                              const StubReader& read) {
    LoadedResources loaded;
    loaded.Layout = PeLayout::Parse(head, length);
    if (loaded.Layout.SizeOfHeaders > head.size())
        throw FormatError("its headers are larger than 4 KiB");
    auto directory = loaded.Layout.Directory(kPeResourceDirectory);
    if (!directory || directory->Size == 0) return loaded;
    const PeSection* section = loaded.Layout.SectionAt(directory->Address, directory->Size);
    if (!section) throw FormatError("its resources lie outside its sections");
    if (section->RawSize > kMaxResourceSection)
        throw FormatError("its resources are larger than 64 MiB");
    loaded.Section.resize(section->RawSize);
    read(section->RawPosition, loaded.Section.data(), loaded.Section.size());
    loaded.SectionAddress = section->VirtualAddress;
    loaded.Tree = ResourceTree::Parse(loaded.Section, section->VirtualAddress,
                                      directory->Address - section->VirtualAddress);
    return loaded;
}

std::u16string PathUtf16(const fs::path& path) {
#ifdef _WIN32
    std::wstring wide = path.wstring();
    return std::u16string(wide.begin(), wide.end());
#else
    std::string bytes = path.string();
    if (auto text = Utf8ToUtf16(bytes)) return *text;
    return std::u16string(bytes.begin(), bytes.end());  // not UTF-8: one byte a character
#endif
}

// The 16 strings of a string-table block, each a length and that many UTF-16 units.
std::vector<std::u16string> ReadStringBlock(std::span<const std::uint8_t> bytes) {
    std::vector<std::u16string> strings(16);
    std::size_t at = 0;
    for (std::u16string& s : strings) {
        if (at + 2 > bytes.size()) break;
        const std::size_t length = LoadLe16(&bytes[at]);
        at += 2;
        for (std::size_t i = 0; i < length && at + 2 <= bytes.size(); ++i, at += 2)
            s.push_back(static_cast<char16_t>(LoadLe16(&bytes[at])));
    }
    return strings;
}

std::vector<std::uint8_t> WriteStringBlock(const std::vector<std::u16string>& strings) {
    std::vector<std::uint8_t> out;
    for (const std::u16string& s : strings) {
        AppendLe16(out, static_cast<std::uint16_t>(s.size()));
        for (char16_t c : s) AppendLe16(out, c);
    }
    return out;
}

// String 1 lives in block 1 (strings 0 to 15).
const ResourceKey kNameBlock = ResourceKey::Number(1);

SaverResources Describe(const ResourceTree& tree) {
    SaverResources r;
    if (const ResourceData* version = tree.First(ResourceKey::Number(kRtVersion)))
        r.Version = VersionInfo::Parse(version->Bytes);
    if (const auto* strings = tree.Find(ResourceKey::Number(kRtString))) {
        auto block = strings->find(kNameBlock);
        if (block != strings->end() && !block->second.empty()) {
            std::u16string name = ReadStringBlock(block->second.begin()->second.Bytes)[1];
            if (!name.empty()) r.Name = name;
        }
    }
    if (const ResourceData* group = tree.First(ResourceKey::Number(kRtGroupIcon)))
        r.Icons = ReadIconGroup(group->Bytes);
    if (const auto* data = tree.Find(ResourceKey::Number(kRtRcData))) {
        r.Marker = data->count(kMarkerName) != 0;
        auto slideshow = data->find(kSlideshowName);
        if (slideshow != data->end() && !slideshow->second.empty()) {
            const std::vector<std::uint8_t>& bytes = slideshow->second.begin()->second.Bytes;
            r.Slideshow = std::string(bytes.begin(), bytes.end());
        }
    }
    return r;
}

void SetVersion(ResourceTree& tree, const ManifestSaver& saver, const fs::path& output) {
    ResourceKey name = ResourceKey::Number(1);
    std::uint16_t language = kDefaultLanguage;
    std::optional<VersionInfo> info;
    if (const ResourceData* old = tree.First(ResourceKey::Number(kRtVersion), &name, &language))
        info = VersionInfo::Parse(old->Bytes);
    if (!info) info = VersionInfo{};
    const std::u16string base = PathUtf16(output.stem());
    const std::u16string displayName = saver.Name.value_or(base);
    info->Strings[u"FileDescription"] = saver.Description.value_or(displayName + u" Screen Saver");
    info->Strings[u"ProductName"] = saver.Product.value_or(base);
    info->Strings[u"OriginalFilename"] = PathUtf16(output.filename());
    info->Strings[u"InternalName"] = base;
    if (saver.Company) info->Strings[u"CompanyName"] = *saver.Company;
    if (saver.Copyright) info->Strings[u"LegalCopyright"] = *saver.Copyright;
    if (saver.Version) {
        info->FileVersion = info->ProductVersion = *ParseVersionText(*saver.Version);
        info->Strings[u"FileVersion"] = info->Strings[u"ProductVersion"] =
            *Utf8ToUtf16(*saver.Version);
    }
    // The version resource is replaced whole, in every language the stub had it.
    tree.Types.erase(ResourceKey::Number(kRtVersion));
    tree.Types[ResourceKey::Number(kRtVersion)][name][language] = {info->Write(), 0};

    auto& block = tree.Types[ResourceKey::Number(kRtString)][kNameBlock];
    std::vector<std::u16string> strings(16);
    std::uint16_t stringLanguage = language;
    if (!block.empty()) {
        stringLanguage = block.begin()->first;
        strings = ReadStringBlock(block.begin()->second.Bytes);
    }
    strings[1] = displayName;
    block[stringLanguage] = {WriteStringBlock(strings), 0};
}

void SetIcon(ResourceTree& tree, const std::vector<IconImage>& images, std::uint16_t language) {
    ResourceKey groupName = ResourceKey::Number(1);
    auto& groups = tree.Types[ResourceKey::Number(kRtGroupIcon)];
    auto& icons = tree.Types[ResourceKey::Number(kRtIcon)];
    if (tree.First(ResourceKey::Number(kRtGroupIcon), &groupName, &language)) {
        // The icons the replaced group names go with it, unless another group names them too.
        std::set<std::uint16_t> theirs, others;
        for (const auto& [name, languages] : groups)
            for (const auto& [l, data] : languages)
                for (const IconGroupEntry& e : ReadIconGroup(data.Bytes))
                    (name == groupName ? theirs : others).insert(e.Id);
        for (std::uint16_t id : theirs)
            if (!others.count(id)) icons.erase(ResourceKey::Number(id));
        groups.erase(groupName);
    }
    std::vector<std::uint16_t> ids;
    for (std::uint16_t id = 1; ids.size() < images.size(); ++id)
        if (!icons.count(ResourceKey::Number(id))) ids.push_back(id);
    for (std::size_t i = 0; i < images.size(); ++i)
        icons[ResourceKey::Number(ids[i])][language] = {images[i].Bytes, 0};
    groups[groupName][language] = {IconGroup(images, ids), 0};
}

StubReader FileReader(std::FILE* file) {
    return [file](std::uint32_t position, void* buffer, std::size_t count) {
        if (std::fseek(file, static_cast<long>(position), SEEK_SET) != 0 ||
            std::fread(buffer, 1, count, file) != count)
            throw FormatError("it ends early");
    };
}

// The resources of the program image in `file`, `size` bytes long; throws FormatError.
LoadedResources LoadFileResources(std::FILE* file, std::uint64_t size) {
    std::vector<std::uint8_t> head(std::min<std::uint64_t>(size, kPeHeadSize));
    const StubReader read = FileReader(file);
    read(0, head.data(), head.size());
    return LoadResources(head, size, read);
}

LoadedResources LoadStubResources(std::span<const std::uint8_t> head, std::uint32_t length,
                                  const StubReader& read, const std::string& stubName) {
    try {
        return LoadResources(head, length, read);
    } catch (const FormatError& error) {
        throw ToolError(stubName + " is not a Windows program the tool can read (" + error.what() +
                        "): " + kBuildFromSaver);
    }
}

// Only the saver program itself, without content and with room for one more section, is a stub.
void RefuseOtherStubs(const LoadedResources& loaded, std::uint32_t length, const StubReader& read,
                      const std::string& stubName) {
    const PeLayout& layout = loaded.Layout;
    // A saver that already holds content: its trailer ends the file and names an index after
    // the program image.
    if (length >= layout.RawEnd() + kPakIndexSize + kTrailerSize) {
        std::uint8_t trailer[kTrailerSize], index[4];
        read(length - kTrailerSize, trailer, kTrailerSize);
        const PakTrailer t = PakTrailer::Decode(trailer);
        if (t.StructSize == kTrailerSize && t.IndexOffset >= layout.RawEnd() &&
            static_cast<std::uint64_t>(t.IndexOffset) + kPakIndexSize <= length - kTrailerSize) {
            read(t.IndexOffset, index, 4);
            if (LoadLe32(index) == kPakIndexSize)
                throw ToolError(stubName + " already holds content: " + kBuildFromSaver);
        }
    }
    if (!loaded.Tree || !Describe(*loaded.Tree).Marker)
        throw ToolError(
            stubName +
            " is not the saver program (it lacks the saver's marker resource): " + kBuildFromSaver);
    if (!layout.HasRoomForSection())
        throw ToolError(stubName +
                        " is not a Windows program the tool can read: its headers have no room for "
                        "another section");
}

// The saver's own icon and version text, in the language of the stub's version resource.
// Returns the note on an icon made from a picture ("" for an .ico, taken as it is).
std::string BrandTree(ResourceTree& tree, const ManifestSaver& saver,
                      const std::optional<std::vector<std::uint8_t>>& icon,
                      const fs::path& output) {
    std::uint16_t language = kDefaultLanguage;
    tree.First(ResourceKey::Number(kRtVersion), nullptr, &language);
    std::string note;
    if (saver.Icon) {
        std::vector<IconImage> images;
        const std::string name = PathText(*saver.Icon);
        try {
            const PictureFormat format = RecognizeFormat(icon->data(), icon->size());
            if (format != PictureFormat::Png && format != PictureFormat::Jpeg &&
                format != PictureFormat::Bmp) {
                images = ParseIconFile(*icon);
            } else {
                std::string source;
                images = IconFromPicture(*icon, source);
                note = "the icon " + name + " (" + source +
                       ") was made into an icon of 256 (PNG), 48, 32 and 16 pixels";
            }
        } catch (const FormatError& error) {
            throw ToolError("saver: 'icon' " + name + " " + error.what());
        }
        SetIcon(tree, images, language);
    }
    SetVersion(tree, saver, output);
    return note;
}

// Names the new resource section, `size` bytes at `address` (`rawSize` in the file at
// `position`), in the headers, and clears the image checksum.
void AddSectionHeader(std::vector<std::uint8_t>& head, const PeLayout& layout, std::uint32_t size,
                      std::uint32_t address, std::uint32_t rawSize, std::uint32_t position) {
    const std::uint32_t header = layout.NextSectionHeader();
    std::fill_n(head.begin() + header, kPeSectionHeaderSize, std::uint8_t{0});
    std::memcpy(&head[header], ".rsrc", 5);
    StoreLe32(&head[header + 8], size);
    StoreLe32(&head[header + 12], address);
    StoreLe32(&head[header + 16], rawSize);
    StoreLe32(&head[header + 20], position);
    StoreLe32(&head[header + 36], 0x40000040);  // initialised data, readable
    StoreLe16(&head[layout.SectionCountPosition],
              static_cast<std::uint16_t>(layout.Sections.size() + 1));
    StoreLe32(&head[layout.SizeOfImagePosition], AlignUp(address + size, layout.SectionAlignment));
    const PeDirectory resources = *layout.Directory(kPeResourceDirectory);
    StoreLe32(&head[resources.Position], address);
    StoreLe32(&head[resources.Position + 4], size);
    StoreLe32(&head[layout.ChecksumPosition], 0);
}

}  // namespace

BrandedStub BrandStub(std::vector<std::uint8_t> head, std::uint32_t length, const StubReader& read,
                      const std::string& stubName, const ManifestSaver& saver,
                      const std::optional<std::vector<std::uint8_t>>& icon, const fs::path& output,
                      const std::optional<std::string>& slideshowSettings) {
    LoadedResources loaded = LoadStubResources(head, length, read, stubName);
    const PeLayout& layout = loaded.Layout;
    RefuseOtherStubs(loaded, length, read, stubName);

    ResourceTree tree = std::move(*loaded.Tree);
    const std::string iconNote = BrandTree(tree, saver, icon, output);
    if (slideshowSettings) {
        tree.Types[ResourceKey::Number(kRtRcData)][kSlideshowName] = {
            {kNeutralLanguage,
             {std::vector<std::uint8_t>(slideshowSettings->begin(), slideshowSettings->end()), 0}}};
    }

    BrandedStub stub;
    const std::uint32_t position = AlignUp(length, layout.FileAlignment);
    const std::uint32_t address = layout.VirtualEnd();
    std::vector<std::uint8_t> section = tree.Write(address);
    const std::uint32_t rawSize =
        AlignUp(static_cast<std::uint32_t>(section.size()), layout.FileAlignment);
    stub.Tail.assign(position - length, 0);
    stub.Tail.insert(stub.Tail.end(), section.begin(), section.end());
    stub.Tail.resize(stub.Tail.size() + (rawSize - section.size()), 0);
    if (static_cast<std::uint64_t>(address) + rawSize > 0x7FFFFFFF)
        throw ToolError(stubName +
                        " is not a Windows program the tool can read: its image is too large");
    AddSectionHeader(head, layout, static_cast<std::uint32_t>(section.size()), address, rawSize,
                     position);

    stub.Head = std::move(head);
    stub.CopyEnd = length;
    stub.ChecksumPosition = layout.ChecksumPosition;
    stub.Expected = Describe(tree);
    stub.IconNote = iconNote;
    return stub;
}

void WriteImageChecksum(const fs::path& path, std::uint32_t checksumPosition,
                        std::uint32_t checksum) {
    UniqueStream file(OpenStream(path, "r+b"));
    if (!file) throw ToolError("cannot reopen " + PathText(path) + ": " + std::strerror(errno));
    std::uint8_t bytes[4];
    StoreLe32(bytes, checksum);
    if (std::fseek(file.Get(), checksumPosition, SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, 4, file.Get()) != 4 || std::fflush(file.Get()) != 0)
        throw ToolError("cannot write " + PathText(path) + ": " + std::strerror(errno));
}

std::optional<SaverResources> ReadSaverResources(const fs::path& path) {
    UniqueStream file(OpenStream(path, "rb"));
    if (!file) return std::nullopt;
    std::error_code error;
    const std::uint64_t size = fs::file_size(path, error);
    if (error) return std::nullopt;
    try {
        const LoadedResources loaded = LoadFileResources(file.Get(), size);
        if (!loaded.Tree) return SaverResources{};
        return Describe(*loaded.Tree);
    } catch (const FormatError&) {
        return std::nullopt;
    }
}

void CheckSaverResources(const fs::path& path, const SaverResources& expected) {
    UniqueStream file(OpenStream(path, "rb"));
    if (!file) throw FormatError("it cannot be opened");
    const std::uint64_t size = fs::file_size(path);
    LoadedResources loaded;
    try {
        loaded = LoadFileResources(file.Get(), size);
    } catch (const FormatError& error) {
        throw FormatError(std::string("its program image does not read back: ") + error.what());
    }
    if (!loaded.Tree) throw FormatError("it has no resources");
    // The tree read back, written again, must give the section's bytes.
    const std::vector<std::uint8_t> again = loaded.Tree->Write(loaded.SectionAddress);
    if (again.size() > loaded.Section.size() ||
        !std::equal(again.begin(), again.end(), loaded.Section.begin()))
        throw FormatError("its resource tree does not read back as it was written");
    const SaverResources got = Describe(*loaded.Tree);
    if (!got.Marker) throw FormatError("its marker resource is missing");
    if (got.Name != expected.Name) throw FormatError("its name (string 1) does not read back");
    if (got.Slideshow != expected.Slideshow)
        throw FormatError("its slideshow settings (resource SLIDESHOW) do not read back");
    if (!got.Version || !expected.Version || got.Version->Strings != expected.Version->Strings ||
        got.Version->FileVersion != expected.Version->FileVersion)
        throw FormatError("its version resource does not read back");
    if (got.Icons.size() != expected.Icons.size())
        throw FormatError("its icon group does not read back");
    const auto* icons = loaded.Tree->Find(ResourceKey::Number(kRtIcon));
    for (const IconGroupEntry& e : got.Icons)
        if (!icons || !icons->count(ResourceKey::Number(e.Id)))
            throw FormatError("its icon group names an icon it does not hold");
}
