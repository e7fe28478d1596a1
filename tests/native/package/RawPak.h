// Writes saver files record by record, with every field under the test's control, so that the
// reader can be fed sound containers and every kind of broken one. Deliberately independent of
// the tool's writer: a fault shared by writer and reader would otherwise go unseen.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

class RawPak {
public:
    // A stub of `stubSize` bytes: "MZ" and filler.
    explicit RawPak(std::size_t stubSize = 64) : FBytes(stubSize, 0x90) {
        if (stubSize >= 2) {
            FBytes[0] = 'M';
            FBytes[1] = 'Z';
        }
    }

    // After a stub given whole (a signed-program test's PE image).
    explicit RawPak(const std::string& stub) : FBytes(stub.begin(), stub.end()) {}

    std::uint32_t Here() const { return static_cast<std::uint32_t>(FBytes.size()); }
    std::string Bytes() const { return std::string(FBytes.begin(), FBytes.end()); }

    std::uint32_t Le32(std::uint32_t value) {
        std::uint32_t at = Here();
        for (int i = 0; i < 4; ++i) FBytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return at;
    }
    std::uint32_t Byte(std::uint8_t value) {
        std::uint32_t at = Here();
        FBytes.push_back(value);
        return at;
    }
    std::uint32_t Text(const std::string& text) {
        std::uint32_t at = Here();
        FBytes.insert(FBytes.end(), text.begin(), text.end());
        return at;
    }

    std::uint32_t String(std::optional<std::string> text, std::uint32_t structSize = 8) {
        std::uint32_t at = Le32(structSize);
        Le32(text ? static_cast<std::uint32_t>(text->size()) : 0);
        if (text) Text(*text);
        return at;
    }
    std::uint32_t Data(const std::string& bytes) {
        std::uint32_t at = Le32(static_cast<std::uint32_t>(bytes.size()));
        Text(bytes);
        return at;
    }
    std::uint32_t Module(std::uint32_t flags, std::uint32_t nameOffset, std::uint32_t dataOffset,
                         std::uint8_t argMethod = 0, std::uint32_t structSize = 17) {
        std::uint32_t at = Le32(structSize);
        Le32(flags);
        Le32(nameOffset);
        Le32(dataOffset);
        Byte(argMethod);
        return at;
    }
    std::uint32_t Picture(std::uint8_t type, std::uint32_t dataOffset,
                          std::uint32_t structSize = 9) {
        std::uint32_t at = Le32(structSize);
        Byte(type);
        Le32(dataOffset);
        return at;
    }
    std::uint32_t Key(std::uint32_t key, std::uint8_t function, std::uint32_t commandOffset,
                      std::uint32_t structSize = 13) {
        std::uint32_t at = Le32(structSize);
        Le32(key);
        Byte(function);
        Le32(commandOffset);
        return at;
    }
    std::uint32_t Table(const std::vector<std::uint32_t>& entries) {
        std::uint32_t at = Here();
        for (std::uint32_t e : entries) Le32(e);
        return at;
    }
    std::uint32_t Settings(const std::string& link, const std::string& caption,
                           std::uint32_t music) {
        std::uint32_t at = Here();
        std::vector<std::uint8_t> block(560, 0);
        std::memcpy(block.data(), link.data(), std::min<std::size_t>(link.size(), 300));
        std::memcpy(block.data() + 300, caption.data(), std::min<std::size_t>(caption.size(), 256));
        FBytes.insert(FBytes.end(), block.begin(), block.end());
        for (int i = 0; i < 4; ++i)
            FBytes[at + 556 + i] = static_cast<std::uint8_t>(music >> (8 * i));
        return at;
    }

    struct Index {
        std::uint32_t StructSize = 32;
        std::uint32_t ModuleTableOffset = 0, ModuleCount = 0;
        std::uint32_t KeyTableOffset = 0, KeyCount = 0;
        std::uint32_t ContentCount = 0, ContentTableOffset = 0;
        std::uint32_t SettingsOffset = 0;
    };
    // The index followed by the trailer.
    std::uint32_t Finish(const Index& index, std::uint32_t trailerSize = 8) {
        std::uint32_t at = Le32(index.StructSize);
        Le32(index.ModuleTableOffset);
        Le32(index.ModuleCount);
        Le32(index.KeyTableOffset);
        Le32(index.KeyCount);
        Le32(index.ContentCount);
        Le32(index.ContentTableOffset);
        Le32(index.SettingsOffset);
        Le32(trailerSize);
        Le32(at);
        return at;
    }

    // Overwrites a uint32 already written.
    void Patch(std::uint32_t position, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            FBytes[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }

private:
    std::vector<std::uint8_t> FBytes;
};
