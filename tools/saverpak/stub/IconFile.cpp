#include "tools/saverpak/stub/IconFile.h"

#include <cstring>
#include "support/Bytes.h"
#include "tools/saverpak/io/ToolError.h"

namespace {

constexpr std::size_t kMaxImages = 64;

// Checks that `image` is the picture its entry announces: a PNG with that size, or a
// device-independent bitmap (with its mask, so twice as high) of that size.
void CheckImage(IconImage& image, std::size_t index) {
    const std::vector<std::uint8_t>& b = image.Bytes;
    auto fail = [&](const std::string& why) {
        throw FormatError("image " + std::to_string(index) + " (" + std::to_string(image.Width) +
                          "x" + std::to_string(image.Height) + ") " + why);
    };
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() >= 8 && std::memcmp(b.data(), kPng, 8) == 0) {
        image.Png = true;
        if (b.size() < 33 || std::memcmp(b.data() + 12, "IHDR", 4) != 0)
            fail("is a PNG without its header");
        if (LoadBe32(b.data() + 16) != image.Width || LoadBe32(b.data() + 20) != image.Height)
            fail("is a PNG of another size than the directory says");
        if (image.BitCount == 0) image.BitCount = 32;
        return;
    }
    if (b.size() < 40 || LoadLe32(b.data()) < 40) fail("is neither a PNG nor a bitmap");
    const std::int32_t width = static_cast<std::int32_t>(LoadLe32(b.data() + 4));
    const std::int32_t height = static_cast<std::int32_t>(LoadLe32(b.data() + 8));
    const std::uint16_t bits = LoadLe16(&b[14]);
    if (width != static_cast<std::int32_t>(image.Width) ||
        height != 2 * static_cast<std::int32_t>(image.Height))
        fail("is a bitmap of another size than the directory says");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        fail("has " + std::to_string(bits) + " bits per pixel");
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t maskStride = (static_cast<std::uint64_t>(width) + 31) / 32 * 4;
    const std::uint64_t palette = bits <= 8 ? 4ull << bits : 0;
    if (LoadLe32(b.data() + 16) == 0 &&
        LoadLe32(b.data()) + palette + (stride + maskStride) * image.Height > b.size())
        fail("ends before its pixels");
    image.BitCount = bits;
}

}  // namespace

std::vector<IconImage> ParseIconFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 6 || LoadLe16(&bytes[0]) != 0 || LoadLe16(&bytes[2]) != 1)
        throw FormatError(
            "is not an icon file (.ico), nor a picture the tool makes one from (PNG, JPEG, BMP)");
    const std::size_t count = LoadLe16(&bytes[4]);
    if (count == 0) throw FormatError("holds no image");
    if (count > kMaxImages) throw FormatError("holds more than 64 images");
    if (6 + 16 * count > bytes.size()) throw FormatError("ends inside its directory");
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * i;
        IconImage image;
        image.Width = bytes[at] ? bytes[at] : 256;
        image.Height = bytes[at + 1] ? bytes[at + 1] : 256;
        image.BitCount = LoadLe16(&bytes[at + 6]);
        const std::uint64_t size = LoadLe32(&bytes[at + 8]), offset = LoadLe32(&bytes[at + 12]);
        if (size == 0 || offset + size > bytes.size())
            throw FormatError("image " + std::to_string(i) + " lies outside the file");
        image.Bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                           bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
        CheckImage(image, i);
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<std::uint8_t> IconGroup(const std::vector<IconImage>& images,
                                    const std::vector<std::uint16_t>& ids) {
    std::vector<std::uint8_t> out(6 + 14 * images.size(), 0);
    out[2] = 1;
    out[4] = static_cast<std::uint8_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        std::uint8_t* e = &out[6 + 14 * i];
        const IconImage& image = images[i];
        e[0] = static_cast<std::uint8_t>(image.Width >= 256 ? 0 : image.Width);
        e[1] = static_cast<std::uint8_t>(image.Height >= 256 ? 0 : image.Height);
        e[2] = static_cast<std::uint8_t>(image.BitCount < 8 ? 1u << image.BitCount : 0);
        e[4] = 1;  // planes
        e[6] = static_cast<std::uint8_t>(image.BitCount);
        StoreLe32(e + 8, static_cast<std::uint32_t>(image.Bytes.size()));
        StoreLe16(e + 12, ids[i]);
    }
    return out;
}

std::vector<IconGroupEntry> ReadIconGroup(std::span<const std::uint8_t> bytes) {
    std::vector<IconGroupEntry> entries;
    if (bytes.size() < 6 || LoadLe16(&bytes[0]) != 0 || LoadLe16(&bytes[2]) != 1) return entries;
    const std::size_t count = LoadLe16(&bytes[4]);
    if (6 + 14 * count > bytes.size()) return entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 14 * i;
        entries.push_back({bytes[at] ? bytes[at] : 256u, bytes[at + 1] ? bytes[at + 1] : 256u,
                           LoadLe16(&bytes[at + 6]), LoadLe16(&bytes[at + 12])});
    }
    return entries;
}
