// Numbers in files: little- and big-endian loads and stores, and a bounded reader. Every format
// the saver and the tool read or write (the container, BMP, Exif, PNG's header, the program
// image and its resources, icon files) goes through here, so there is one place where bytes
// become numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline std::uint16_t LoadLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t LoadLe32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::uint16_t LoadBe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline std::uint32_t LoadBe32(const std::uint8_t* bytes) {
    return (static_cast<std::uint32_t>(bytes[0]) << 24) |
           (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

inline void StoreLe16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLe32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value >> 16);
    bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

// Stores at the end of `out`, which grows by the number's size.
inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    AppendLe16(out, static_cast<std::uint16_t>(value));
    AppendLe16(out, static_cast<std::uint16_t>(value >> 16));
}

// Reads numbers from bytes that may be cut short or lie about their own positions. A read or
// a move past the end fails, yields zeros and leaves the reader failed: a record is read whole
// and Failed() is asked once at its end, so no position is tested twice and none is forgotten.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, bool littleEndian = true)
        : FBytes(bytes), FLittleEndian(littleEndian) {}

    void SetLittleEndian(bool littleEndian) { FLittleEndian = littleEndian; }
    bool Failed() const { return FFailed; }
    std::size_t Position() const { return FPosition; }
    std::size_t Size() const { return FBytes.size(); }

    void Seek(std::uint64_t position) {
        if (FFailed || position > FBytes.size()) return Fail();
        FPosition = static_cast<std::size_t>(position);
    }
    void Skip(std::uint64_t count) { Seek(FPosition + count); }

    std::uint8_t U8() {
        const std::uint8_t* at = Take(1);
        return at ? *at : 0;
    }
    std::uint16_t U16() {
        const std::uint8_t* at = Take(2);
        return at ? (FLittleEndian ? LoadLe16(at) : LoadBe16(at)) : 0;
    }
    std::uint32_t U32() {
        const std::uint8_t* at = Take(4);
        return at ? (FLittleEndian ? LoadLe32(at) : LoadBe32(at)) : 0;
    }
    std::int32_t S32() { return static_cast<std::int32_t>(U32()); }

private:
    const std::uint8_t* Take(std::size_t count) {
        if (FFailed || count > FBytes.size() - FPosition) {
            Fail();
            return nullptr;
        }
        const std::uint8_t* at = FBytes.data() + FPosition;
        FPosition += count;
        return at;
    }
    void Fail() {
        FFailed = true;
        FPosition = FBytes.size();
    }

    std::span<const std::uint8_t> FBytes;
    std::size_t FPosition = 0;
    bool FLittleEndian;
    bool FFailed = false;
};
