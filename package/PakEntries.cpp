#include "package/PakEntries.h"

#include <cstring>
#include <stdexcept>

#include "package/ModuleName.h"
#include "support/Path.h"

void ReadModuleEntry(ssPak& pak, std::int32_t position, ssModuleEntry& entry) {
    std::uint8_t bytes[kModuleDescriptorSize];
    pak.ReadRecord(position, bytes, sizeof bytes);
    entry.Descriptor = PakModuleDescriptor::Decode(bytes);
    if (entry.Descriptor.StructSize != kModuleDescriptorSize)
        throw std::runtime_error("File is corrupt. Error reading module descriptor.");
    entry.Name.Load(pak, static_cast<std::int32_t>(entry.Descriptor.NameOffset));
    if (entry.IsExternal()) {
        if (entry.Name.IsNone() || entry.Name.Text()[0] == '\0')
            throw std::runtime_error("File is corrupt. External module has no name.");
        if (std::strlen(entry.Name.Text()) >= kPathCharacters)  // one byte a character
            throw std::runtime_error("File is corrupt. Module name is too long.");
        if (IsArgumentFileName(entry.Name.Text()))
            throw std::runtime_error("File is corrupt. Invalid module name.");
    } else if (!entry.Name.IsNone() &&
               !IsPlainModuleName({entry.Name.Text(), entry.Name.Length()})) {
        throw std::runtime_error("File is corrupt. Invalid module name.");
    }
}

PakPictureDescriptor ReadPictureDescriptor(ssPak& pak, std::int32_t position) {
    std::uint8_t bytes[kPictureDescriptorSize];
    pak.ReadRecord(position, bytes, sizeof bytes);
    PakPictureDescriptor descriptor = PakPictureDescriptor::Decode(bytes);
    if (descriptor.StructSize != kPictureDescriptorSize)
        throw std::runtime_error("File is corrupt. Error reading picture descriptor.");
    if (descriptor.PictureType != kPictureBmp && descriptor.PictureType != kPictureJpeg)
        throw std::runtime_error("File is corrupt. Invalid picture type.");
    return descriptor;
}
