// A Windows program image small enough to write in a test and sound enough for signing tools:
// headers for x64 and one code section of one `ret`. And a stand-in for what a signer appends,
// for tests of the reader that need no real signature.
#pragma once

#include <cstdint>
#include <string>

namespace pe_image {

inline void Put(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

constexpr std::size_t kOptional = 0x40 + 24;             // after "PE\0\0" and the file header
constexpr std::size_t kSecurityEntry = kOptional + 144;  // data directory entry 4 of PE32+

}  // namespace pe_image

// `size` bytes (at least 1024): the image, then filler the loader never maps.
inline std::string PeProgramBytes(std::size_t size = 1024) {
    using pe_image::Put;
    std::string b(size < 1024 ? 1024 : size, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put(b, 0x3C, 0x40, 4);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    Put(b, 0x44, 0x8664, 2);  // machine x64
    Put(b, 0x46, 1, 2);       // one section
    Put(b, 0x54, 240, 2);     // optional header size
    Put(b, 0x56, 0x22, 2);    // executable, large-address aware
    const std::size_t o = pe_image::kOptional;
    Put(b, o, 0x20B, 2);
    Put(b, o + 4, 0x200, 4);         // size of code
    Put(b, o + 16, 0x1000, 4);       // entry point
    Put(b, o + 20, 0x1000, 4);       // base of code
    Put(b, o + 24, 0x140000000, 8);  // image base
    Put(b, o + 32, 0x1000, 4);       // section alignment
    Put(b, o + 36, 0x200, 4);        // file alignment
    Put(b, o + 40, 6, 2);            // OS version
    Put(b, o + 48, 6, 2);            // subsystem version
    Put(b, o + 56, 0x2000, 4);       // size of image
    Put(b, o + 60, 0x200, 4);        // size of headers
    Put(b, o + 68, 2, 2);            // GUI
    Put(b, o + 70, 0x8160, 2);
    for (int i = 0; i < 4; ++i) Put(b, o + 72 + 8 * i, i % 2 ? 0x1000 : 0x100000, 8);
    Put(b, o + 108, 16, 4);         // data directory entries
    const std::size_t s = o + 240;  // the section header
    b.replace(s, 5, ".text");
    Put(b, s + 8, 0x200, 4);
    Put(b, s + 12, 0x1000, 4);
    Put(b, s + 16, 0x200, 4);
    Put(b, s + 20, 0x200, 4);
    Put(b, s + 36, 0x60000020, 4);
    b[0x200] = '\xC3';
    return b;
}

// What a signer does to `file`: zero bytes to an 8-byte boundary, then a certificate table of
// `tableSize` bytes, named by the security directory entry. The table's content is filler.
inline std::string AppendCertificateTable(std::string file, std::uint32_t tableSize = 1500) {
    file.resize((file.size() + 7) / 8 * 8, '\0');
    pe_image::Put(file, pe_image::kSecurityEntry, file.size(), 4);
    pe_image::Put(file, pe_image::kSecurityEntry + 4, tableSize, 4);
    std::string table(tableSize, '\x30');
    pe_image::Put(table, 0, tableSize, 4);
    return file + table;
}
