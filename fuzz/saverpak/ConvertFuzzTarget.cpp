// The build tool's converter (PNG, and the BMPs the saver does not read) on arbitrary bytes:
// it must refuse with a reason or produce a BMP that the saver's own reader takes, of the same
// size, at 8 or 24 bits.
#include <cstdint>
#include <cstring>

#include "imaging/Bitmap.h"
#include "support/Bytes.h"
#include "tools/saverpak/pictures/StorablePicture.h"

namespace {

// Large pictures run the same loops as small ones, only longer.
bool Oversized(const std::uint8_t* data, std::size_t size) {
    std::int64_t w = 0, h = 0;
    if (size >= 24 && std::memcmp(data + 12, "IHDR", 4) == 0) {
        w = LoadBe32(data + 16), h = LoadBe32(data + 20);
    } else if (BmpHeaders headers; IsBmp(data, size)) {
        ParseBmpHeaders(data, size, headers);  // the size fields are enough
        w = headers.Info.biWidth, h = headers.Info.biHeight;
        if (h < 0) h = -h;
    }
    return w > 0 && h > 0 && (w > (1 << 20) || h > (1 << 20) || w * h > (256 << 10));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (Oversized(data, size)) return 0;
    StorableBmp out;
    const RgbColour background = {240, 240, 240};
    if (!ConvertToStorableBmp(data, size, background, out).empty()) {
        if (!out.bytes.empty()) __builtin_trap();  // a refusal leaves nothing to store
        return 0;
    }
    if (out.bytes.size() < 54 || out.source.empty() || out.stored.empty()) __builtin_trap();
    cBitmap stored;
    if (stored.ReadBmpBytes(out.bytes.data(), out.bytes.size()) != 0) __builtin_trap();
    if (stored.BitCount() != 8 && stored.BitCount() != 24) __builtin_trap();
    BmpHeaders headers;
    ParseBmpHeaders(out.bytes.data(), out.bytes.size(), headers);
    if (stored.Width() != headers.Info.biWidth || stored.Height() != headers.Info.biHeight)
        __builtin_trap();
    stored.FreeBits();
    return 0;
}
