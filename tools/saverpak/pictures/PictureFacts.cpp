#include "tools/saverpak/pictures/PictureFacts.h"

#include <cstdlib>
#include <vector>

#include "imaging/BmpHeader.h"
#include "support/Bytes.h"

namespace {

// Reads inside the picture's data block only; a read past its end, or a failed one, leaves the
// reader failed for good, so a caller checks once after a run of reads.
class BlockReader {
public:
    BlockReader(std::istream& file, std::uint64_t position, std::uint32_t length)
        : FFile(file), FStart(position), FLength(length) {}

    bool Read(std::uint64_t at, void* buffer, std::size_t count) {
        FFailed = FFailed || at > FLength || count > FLength - at;
        if (FFailed) return false;
        FFile.clear();
        FFile.seekg(static_cast<std::streamoff>(FStart + at));
        FFile.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        FFailed = !FFile || FFile.gcount() != static_cast<std::streamsize>(count);
        return !FFailed;
    }
    std::uint32_t Byte(std::uint64_t at) {
        std::uint8_t b = 0;
        Read(at, &b, 1);
        return b;
    }
    std::uint32_t Be16(std::uint64_t at) {
        std::uint8_t b[2] = {};
        Read(at, b, 2);
        return LoadBe16(b);
    }
    bool Failed() const { return FFailed; }

private:
    std::istream& FFile;
    std::uint64_t FStart;
    std::uint32_t FLength;
    bool FFailed = false;
};

std::optional<PictureFacts> BmpFacts(BlockReader& in) {
    // The fields up to the compression are enough.
    std::uint8_t head[34];
    if (!in.Read(0, head, sizeof head) || !IsBmp(head, sizeof head)) return std::nullopt;
    BmpHeaders headers;
    ParseBmpHeaders(head, sizeof head, headers);
    const std::int32_t width = headers.Info.biWidth, height = headers.Info.biHeight;
    const unsigned bits = headers.Info.biBitCount;
    const std::uint32_t compression = headers.Info.biCompression;
    PictureFacts facts;
    facts.Kind = "BMP " + std::to_string(bits) + "-bit";
    if (compression == 1) facts.Kind += " RLE8";
    if (compression == 2) facts.Kind += " RLE4";
    if (compression == 3 || compression == 6) facts.Kind += " bit fields";
    if (height < 0) facts.Kind += " top-down";
    facts.Width = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(width)));
    facts.Height = static_cast<std::uint32_t>(std::abs(static_cast<std::int64_t>(height)));
    return facts;
}

// Walks the markers to the first frame header (SOF0 to SOF15 but DHT, JPG and DAC), which
// holds the size and the number of components.
std::optional<PictureFacts> JpegFacts(BlockReader& in) {
    if (in.Byte(0) != 0xFF || in.Byte(1) != 0xD8) return std::nullopt;
    std::uint64_t at = 2;
    for (int segment = 0; segment < 4096 && !in.Failed(); ++segment) {
        if (in.Byte(at) != 0xFF) return std::nullopt;
        std::uint32_t marker = in.Byte(++at);
        while (marker == 0xFF && !in.Failed()) marker = in.Byte(++at);  // fill bytes
        ++at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before the scan
        const std::uint32_t length = in.Be16(at);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            PictureFacts facts;
            facts.Height = in.Be16(at + 3);
            facts.Width = in.Be16(at + 5);
            const std::uint32_t components = in.Byte(at + 7);
            if (in.Failed()) return std::nullopt;
            facts.Kind = components == 1   ? "JPEG grey"
                         : components == 3 ? "JPEG colour"
                         : components == 4 ? "JPEG CMYK"
                                           : "JPEG, " + std::to_string(components) + " components";
            if (marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE)
                facts.Kind += " progressive";
            return facts;
        }
        if (length < 2) return std::nullopt;
        at += length;
    }
    return std::nullopt;
}

}  // namespace

const char* PictureRole(std::size_t index) {
    return index == 0 ? "preview" : index == 1 ? "logo" : "";
}

std::optional<PictureFacts> ReadPictureFacts(std::istream& file, std::uint64_t position,
                                             std::uint32_t length, std::uint8_t type) {
    BlockReader in(file, position + kDataBlockHeaderSize, length);
    return type == kPictureJpeg ? JpegFacts(in) : BmpFacts(in);
}
