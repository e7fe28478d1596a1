// The Exif reader on blocks made field by field, and the turn's failures. The eight
// orientations themselves are compared with ImageMagick in the tool's table of picture kinds.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "imaging/Orientation.h"

namespace {

// An Exif block with one directory entry, in either byte order.
Bytes ExifBlock(bool little, unsigned tag, unsigned type, std::uint32_t count, unsigned value,
                std::uint32_t directory = 8, unsigned entries = 1) {
    Bytes b = {'E', 'x', 'i', 'f', 0, 0};
    auto u16 = [&](unsigned v) {
        b.push_back(std::uint8_t(little ? v : v >> 8));
        b.push_back(std::uint8_t(little ? v >> 8 : v));
    };
    auto u32 = [&](std::uint32_t v) {
        if (little)
            u16(v & 0xFFFF), u16(v >> 16);
        else
            u16(v >> 16), u16(v & 0xFFFF);
    };
    b.push_back(little ? 'I' : 'M');
    b.push_back(little ? 'I' : 'M');
    u16(42);
    u32(directory);
    u16(entries);
    u16(tag), u16(type), u32(count), u16(value), u16(0);
    u32(0);
    return b;
}

}  // namespace

TEST(Orientation, TheTagIsReadInBothOrdersAndAnythingAmissMeansAsStored) {
    struct Case {
        Bytes block;
        int expected;
    };
    Bytes cut = ExifBlock(true, 0x0112, 3, 1, 6);
    cut.resize(cut.size() - 8);  // ends inside the entry
    const Case cases[] = {
        {ExifBlock(true, 0x0112, 3, 1, 6), 6},
        {ExifBlock(false, 0x0112, 3, 1, 8), 8},
        {ExifBlock(true, 0x0112, 3, 1, 0), 1},  // out of range
        {ExifBlock(true, 0x0112, 3, 1, 9), 1},
        {ExifBlock(true, 0x0112, 4, 1, 6), 1},              // not a SHORT
        {ExifBlock(true, 0x0112, 3, 2, 6), 1},              // more than one value
        {ExifBlock(true, 0x0110, 3, 1, 6), 1},              // another tag
        {ExifBlock(true, 0x0112, 3, 1, 6, 0xFFFFFFF0), 1},  // directory past the end
        {ExifBlock(true, 0x0112, 3, 1, 6, 8, 0xFFFF), 6},   // found before the count runs out
        {ExifBlock(true, 0x0113, 3, 1, 6, 8, 0xFFFF), 1},   // entries past the end: not read
        {cut, 1},
        {Bytes{'E', 'x', 'i', 'f', 0, 1, 'I', 'I', 42, 0, 8, 0, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(ExifOrientation(c.block.data(), c.block.size()), c.expected);
    }
    EXPECT_EQ(ExifOrientation(nullptr, 0), 1);
}

TEST(Orientation, ACancelledOrImpossibleTurnLeavesThePicture) {
    cBitmap b;
    Make24(b, 5, 3);
    b.SetCancel(1);
    EXPECT_EQ(TurnBitmap(b, TurnFor(6)), ERR_CANCELLED);
    EXPECT_EQ(b.Width(), 5);
    b.SetCancel(0);
    // Turned, a picture this tall would be wider than a 24-bit row can be.
    cBitmap tall;
    Make24(tall, 2, kMaxWidth24 + 1);
    EXPECT_EQ(TurnBitmap(tall, TurnFor(8)), ERR_OUT_OF_MEMORY);
    EXPECT_EQ(tall.Height(), kMaxWidth24 + 1);
    EXPECT_EQ(TurnBitmap(b, TurnFor(6)), 0);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 5);
    b.FreeBits();
    tall.FreeBits();
}
