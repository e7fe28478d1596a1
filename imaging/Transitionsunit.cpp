#include "imaging/Transitionsunit.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "imaging/JpegFile.h"
#include "package/PakFormat.h"
#include "package/ssPak.h"

namespace {

// Case-insensitive comparison of a whole extension (".jpe" is not ".jpeg").
bool SameExtension(const char* extension, const char* wanted) {
    for (; *extension && *wanted; ++extension, ++wanted) {
        char a = *extension, b = *wanted;
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        if (a != b) return false;
    }
    return *extension == 0 && *wanted == 0;
}

}  // namespace

void ssPicture::RaiseLoadError(const char* name) {
    char text[256];
    GetErrorText(text, sizeof(text));
    std::string message = "Error loading picture. ";
    message += text;
    if (name) message += name;
    throw std::runtime_error(message);
}

void ssPicture::Load(const char* name, std::int32_t fitWidth, std::int32_t fitHeight) {
    // The extension runs from the last dot of the whole name, directories included.
    const char* extension = std::strrchr(name, '.');
    if (!extension) {
        throw std::runtime_error(std::string("Error loading picture, invalid file type. ") + name);
    }
    if (SameExtension(extension, ".bmp")) {
        FPictureType = kPictureTypeBmp;
        LoadBmp(name, 0);
    } else if (SameExtension(extension, ".jpg") || SameExtension(extension, ".jpeg")) {
        FPictureType = kPictureTypeJpeg;
        SetError(0);
        SetError(LoadJpeg(*this, name, 0, fitWidth, fitHeight));
    } else {
        throw std::runtime_error(std::string("Error loading picture, the file type is invalid. ") +
                                 name);
    }
    if (GetError() != 0) RaiseLoadError(name);
}

void ssPicture::Load(ssPak& pak, std::int32_t position, std::int32_t fitWidth,
                     std::int32_t fitHeight) {
    std::uint8_t bytes[kPictureDescriptorSize];
    pak.ReadRecord(position, bytes, sizeof(bytes));
    const PakPictureDescriptor descriptor = PakPictureDescriptor::Decode(bytes);
    if (descriptor.StructSize != kPictureDescriptorSize) {
        throw std::runtime_error("File is corrupt. Error reading picture descriptor.");
    }
    FPictureType = descriptor.PictureType;
    SetError(0);
    pak.ReadDword(std::int32_t(descriptor.DataOffset));
    if (FPictureType == kPictureTypeBmp) {
        ReadBmp(pak.File());
    } else if (FPictureType == kPictureTypeJpeg) {
        // A second stream on the container file; the container's own position stays put.
        SetError(LoadJpeg(*this, pak.Path(), pak.File().Tell(), fitWidth, fitHeight));
    } else {
        throw std::runtime_error("File is corrupt. Invalid picture type.");
    }
    if (GetError() != 0) RaiseLoadError(nullptr);
}

void ssPicture::Load(BYTE type, const BYTE* data, std::size_t size, std::int32_t fitWidth,
                     std::int32_t fitHeight) {
    FPictureType = type;
    SetError(0);
    if (type == kPictureTypeBmp) {
        ReadBmpBytes(data, size);
    } else if (type == kPictureTypeJpeg) {
        SetError(LoadJpegBytes(*this, data, size, fitWidth, fitHeight));
    } else {
        throw std::runtime_error("File is corrupt. Invalid picture type.");
    }
    if (GetError() != 0) RaiseLoadError(nullptr);
}

void FitSize(std::int32_t width, std::int32_t height, std::int32_t targetWidth,
             std::int32_t targetHeight, std::int32_t& newWidth, std::int32_t& newHeight) {
    newWidth = width;
    newHeight = height;
    if (targetWidth >= width && targetHeight >= height) return;
    // The ratios are compared in extended precision; ties go to the height rule.
    const long double heightRatio = static_cast<long double>(height) / targetHeight;
    const long double widthRatio = static_cast<long double>(width) / targetWidth;
    if (heightRatio >= widthRatio) {
        newHeight = targetHeight;
        newWidth = std::int32_t(std::int64_t(width) * targetHeight / height);
    } else {
        newWidth = targetWidth;
        newHeight = std::int32_t(std::int64_t(height) * targetWidth / width);
    }
    // A long thin picture would otherwise shrink to nothing and fail to resize at all.
    if (newWidth < 1) newWidth = 1;
    if (newHeight < 1) newHeight = 1;
}

void ssPicture::Resize(const RECT& target) {
    SetError(0);
    const std::int32_t targetWidth = target.right - target.left;
    const std::int32_t targetHeight = target.bottom - target.top;
    if (targetWidth >= Width() && targetHeight >= Height()) return;
    if (targetWidth <= 0 || targetHeight <= 0) {
        // Nothing can fit an empty rectangle; the resampler reports it as it would a block of
        // no bytes.
        SetError(ERR_OUT_OF_MEMORY);
        throw std::runtime_error("Error resizing picture.");
    }
    std::int32_t newWidth, newHeight;
    FitSize(Width(), Height(), targetWidth, targetHeight, newWidth, newHeight);
    if (BitCount() < 24) {
        IncreaseColorDepth();
        if (GetError() != 0) throw std::runtime_error("Error increasing color depth.");
    }
    cDither resampler;
    if (resampler.Resample(*this, newWidth, newHeight) != 0) {
        CopyError(resampler);
        throw std::runtime_error("Error resizing picture.");
    }
}

void ssPicture::Quantize(cColorCube& cube) {
    if (cube.AddPicture(*this) != 0) {
        CopyError(cube);
        throw std::runtime_error("Error quantizing picture.");
    }
}

void ssPicture::Dither(cDither& ditherer) {
    if (BitCount() < 24) {
        IncreaseColorDepth();
        if (GetError() != 0) throw std::runtime_error("Error increasing color depth.");
    }
    if (ditherer.DitherBitmap(*this) != 0) {
        CopyError(ditherer);
        throw std::runtime_error("Error dithering picture. ");
    }
}
