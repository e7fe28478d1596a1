#include "imaging/BmpHeader.h"

#include "support/Bytes.h"

bool IsBmp(const std::uint8_t* bytes, std::size_t size) {
    return size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

bool ParseBmpHeaders(const std::uint8_t* bytes, std::size_t size, BmpHeaders& headers) {
    headers = BmpHeaders{};
    ByteReader in({bytes, size});
    in.Skip(10);  // "BM", the file's size, two reserved words
    headers.DataOffset = in.U32();
    BITMAPINFOHEADER& info = headers.Info;
    info.biSize = in.U32();
    info.biWidth = in.S32();
    info.biHeight = in.S32();
    info.biPlanes = in.U16();
    info.biBitCount = in.U16();
    info.biCompression = in.U32();
    info.biSizeImage = in.U32();
    info.biXPelsPerMeter = in.S32();
    info.biYPelsPerMeter = in.S32();
    info.biClrUsed = in.U32();
    info.biClrImportant = in.U32();
    return IsBmp(bytes, size) && !in.Failed();
}
