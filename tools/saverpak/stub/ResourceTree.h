// A program's resources as the three-level tree the image keeps them in (type, name,
// language), read from the bytes of its resource section and written back into new ones.
//
// Reading is bounded: every directory, entry, name and data block is checked to lie inside the
// section before it is looked at, the tree is exactly three levels deep, and counts are capped,
// so a hostile stub gives a FormatError, never a read out of bounds. Writing lays the tree out as
// resource compilers do: the directories (named entries first, sorted by name without regard
// to case, then numbered ones in order), the data entries, the names, then the data blocks on
// 8-byte boundaries. Nothing variable goes in (time stamps are zero), so the same tree gives
// the same bytes, and each data block is copied byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

struct ResourceKey {
    std::uint16_t Id = 0;  // when Name is empty
    std::u16string Name;   // a named entry, as stored (compilers store names in capitals)

    static ResourceKey Number(std::uint16_t id) { return {id, {}}; }
    static ResourceKey Named(std::u16string name) { return {0, std::move(name)}; }
    bool IsName() const { return !Name.empty(); }
    bool operator<(const ResourceKey& other) const;
    bool operator==(const ResourceKey& other) const { return Id == other.Id && Name == other.Name; }
};

struct ResourceData {
    std::vector<std::uint8_t> Bytes;
    std::uint32_t CodePage = 0;
};

// Resource types the tool looks at.
constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtString = 6;
constexpr std::uint16_t kRtRcData = 10;
constexpr std::uint16_t kRtGroupIcon = 14;
constexpr std::uint16_t kRtVersion = 16;

class ResourceTree {
public:
    using Languages = std::map<std::uint16_t, ResourceData>;
    using Names = std::map<ResourceKey, Languages>;

    // `section` holds the resource section's bytes, loaded at virtual address `base`; the tree
    // starts `rootOffset` bytes into it.
    static ResourceTree Parse(std::span<const std::uint8_t> section, std::uint32_t base,
                              std::uint32_t rootOffset = 0);
    // The section's bytes for virtual address `base`.
    std::vector<std::uint8_t> Write(std::uint32_t base) const;

    std::map<ResourceKey, Names> Types;

    Names* Find(const ResourceKey& type);
    const Names* Find(const ResourceKey& type) const;
    // The first entry of a type (lowest number or first name) in its first language.
    const ResourceData* First(const ResourceKey& type, ResourceKey* name = nullptr,
                              std::uint16_t* language = nullptr) const;
};
