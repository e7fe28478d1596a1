#include "package/ssPak.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/ModuleName.h"
#include "support/Text.h"

namespace {

[[noreturn]] void Raise(const char* message) { throw std::runtime_error(message); }

[[noreturn]] void Raise(const char* message, const char* path) {
    throw std::runtime_error(std::string(message) + path);
}

[[noreturn]] void RaiseFileError(ssPakFileError::Reason reason, const char* message,
                                 const char* path) {
    throw ssPakFileError(reason, std::string(message) + path);
}

bool Within(std::int64_t value) { return value >= 0 && value <= kMaxPakPosition; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// ssPakString

void ssPakString::Assign(const char* text) {
    Clear();
    if (!text) return;
    std::size_t length = std::strlen(text);
    FText = std::make_unique<char[]>(length + 1);
    std::memcpy(FText.get(), text, length + 1);
    FLength = static_cast<std::uint32_t>(length);
}

void ssPakString::Clear() {
    FText.reset();
    FLength = 0;
}

void ssPakString::Load(ssPak& pak, std::int32_t position) {
    std::uint8_t bytes[kStringDescriptorSize];
    pak.ReadRecord(position, bytes, sizeof bytes);
    PakStringHeader header = PakStringHeader::Decode(bytes);
    if (header.StructSize != kStringDescriptorSize)
        Raise("File is corrupt. Invalid string descriptor size.");
    Clear();
    if (header.Length == 0) return;
    // The length comes from the file: it must describe bytes that are there before anything is
    // allocated for them (a Length of 0xFFFFFFFF would otherwise wrap Length + 1 to nothing).
    std::int64_t textPosition = static_cast<std::int64_t>(position) + kStringDescriptorSize;
    if (!Within(textPosition) || !pak.FitsInContainer(textPosition, header.Length))
        pak.RaiseReadError();
    auto text = std::make_unique<char[]>(static_cast<std::size_t>(header.Length) + 1);
    pak.ReadRecord(static_cast<std::int32_t>(textPosition), text.get(), header.Length);
    text[header.Length] = '\0';
    FText = std::move(text);
    FLength = header.Length;
}

// ---------------------------------------------------------------------------------------------
// ssPak

void ssPak::Open(HMODULE module) {
    char path[kPathSize];
    if (!ModuleFileName(module, path)) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            Raise("Error opening module. The path is too long.");
        Raise("Error opening module. ", "");
    }
    OpenPath(path);
}

void ssPak::OpenPath(const char* path) {
    Close();
    FPath = std::string(path);  // Bind(Path()) passes our own text
    FTrailer = PakTrailer{0, 0};
    FFileSize = 0;
    FContainerBegin = FContainerEnd = 0;
    FSignature.reset();

    if (FFile.Open(FPath.c_str(), GENERIC_READ, FILE_SHARE_READ) != 0) {
        FFile.Close();
        RaiseFileError(ssPakFileError::Reason::CannotOpen, "Error opening module. ", FPath.c_str());
    }
    try {
        DWORD high = 0;
        SetLastError(ERROR_SUCCESS);  // a size whose low part is all ones is no failure
        DWORD low = GetFileSize(FFile.Handle(), &high);
        if (low == 0xFFFFFFFF && GetLastError() != ERROR_SUCCESS)  // INVALID_FILE_SIZE
            RaiseFileError(ssPakFileError::Reason::NoContainer, "Error reading module. ",
                           FPath.c_str());
        FFileSize = (static_cast<std::uint64_t>(high) << 32) | low;
        LocateContainer();

        std::uint8_t bytes[kTrailerSize];
        if (FContainerEnd < kTrailerSize ||
            FFile.Seek(static_cast<std::int32_t>(FContainerEnd - kTrailerSize), FILE_BEGIN) < 0 ||
            FFile.Read(bytes, kTrailerSize) != kTrailerSize)
            RaiseFileError(ssPakFileError::Reason::NoContainer, "Error reading module. ",
                           FPath.c_str());
        FTrailer = PakTrailer::Decode(bytes);
        if (FTrailer.StructSize != kTrailerSize)
            RaiseFileError(ssPakFileError::Reason::NoContainer, "Invalid header in module file. ",
                           FPath.c_str());
    } catch (...) {
        FFile.Close();
        throw;
    }
}

// The one rule by which every reader finds the container: it ends where the file ends, or,
// in a signed file, where the certificate table that ends the file begins.
void ssPak::LocateContainer() {
    FContainerBegin = 0;
    FContainerEnd = FFileSize;
    std::uint8_t head[kPeHeadSize];
    auto headSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(FFileSize, kPeHeadSize));
    if (FFile.Seek(0, FILE_BEGIN) != 0 || FFile.Read(head, headSize) != headSize)
        RaiseFileError(ssPakFileError::Reason::NoContainer, "Error reading module. ",
                       FPath.c_str());
    std::optional<PeCertificateEntry> entry = FindCertificateEntry(head, headSize);
    if (entry && !entry->IsEmpty()) {
        std::uint64_t tableEnd = static_cast<std::uint64_t>(entry->Position) + entry->Size;
        if (entry->Position == 0 || entry->Size == 0 || tableEnd > FFileSize ||
            entry->Position > kMaxPakPosition)
            RaiseReadError();
        if (tableEnd == FFileSize) {
            FSignature = entry;
            FContainerEnd = EndBeforePadding(entry->Position);
        } else {
            // A program signed before content was appended to it: its signature no longer
            // holds, and the container lies after the table.
            FContainerBegin = tableEnd;
        }
    }
    // Every position of a container is a signed 32-bit seek from the start of the file.
    if (FContainerEnd > kMaxPakPosition) RaiseReadError();
}

// The signer padded the file to a multiple of 8 with fewer than 8 zero bytes before the table;
// the container's trailer, which begins with its size 8, ends where that padding begins. The
// bytes of the trailer's own index offset can read as a size 8 too (08 00 00 00 followed by the
// padding's zeros), so a candidate counts only when its index lies where it says, inside what
// would be the container; the first with a size 8 is kept for the reader's message otherwise.
std::uint64_t ssPak::EndBeforePadding(std::uint32_t tableStart) {
    std::uint8_t tail[kTrailerSize + kCertificatePadding - 1];
    std::uint32_t count = std::min<std::uint32_t>(tableStart, sizeof tail);
    std::uint32_t from = tableStart - count;
    if (FFile.Seek(static_cast<std::int32_t>(from), FILE_BEGIN) !=
            static_cast<std::int32_t>(from) ||
        FFile.Read(tail, count) != count)
        RaiseReadError();
    std::optional<std::uint64_t> first;
    for (std::uint32_t padding = 0;
         padding < kCertificatePadding && padding + kTrailerSize <= count; ++padding) {
        const std::uint8_t* end = tail + count - padding;
        if (padding > 0 && *end != 0) break;
        if (LoadLe32(end - kTrailerSize) != kTrailerSize) continue;
        std::uint64_t containerEnd = tableStart - padding;
        if (IndexLiesAt(LoadLe32(end - kTrailerSize + 4), containerEnd)) return containerEnd;
        if (!first) first = containerEnd;
    }
    return first.value_or(tableStart);
}

bool ssPak::IndexLiesAt(std::uint32_t indexOffset, std::uint64_t containerEnd) {
    std::uint8_t size[4];
    return indexOffset >= FContainerBegin &&
           static_cast<std::uint64_t>(indexOffset) + kPakIndexSize + kTrailerSize <= containerEnd &&
           FFile.Seek(static_cast<std::int32_t>(indexOffset), FILE_BEGIN) ==
               static_cast<std::int32_t>(indexOffset) &&
           FFile.Read(size, sizeof size) == sizeof size && LoadLe32(size) == kPakIndexSize;
}

void ssPak::Close() { FFile.Close(); }

void ssPak::RaiseReadError() const { Raise("Error reading module file. ", FPath.c_str()); }

void ssPak::ReadRecord(std::int32_t position, void* buffer, std::uint32_t count) {
    if (position < 0 || !FitsInContainer(static_cast<std::uint64_t>(position), count) ||
        FFile.Seek(position, FILE_BEGIN) != position)
        RaiseReadError();
    if (count == 0) return;
    if (FFile.Read(buffer, count) != count) RaiseReadError();
}

std::uint32_t ssPak::ReadDword(std::int32_t position) {
    std::uint8_t bytes[4];
    ReadRecord(position, bytes, sizeof bytes);
    return LoadLe32(bytes);
}

void ssPak::StreamBytes(std::int32_t position, std::uint32_t length, const ByteSink& sink) {
    constexpr std::uint32_t kChunk = 1 << 20;
    if (position < 0 || !FitsInContainer(static_cast<std::uint64_t>(position), length))
        RaiseReadError();
    std::vector<std::uint8_t> buffer(std::min(length, kChunk));
    while (length != 0) {
        std::uint32_t count = std::min(length, kChunk);
        ReadRecord(position, buffer.data(), count);
        sink(buffer.data(), count);
        position += static_cast<std::int32_t>(count);
        length -= count;
    }
}

void ssPak::ExtractModule(std::int32_t position, const char* target) {
    // Check the block before the target is created: a length that runs past the end of the file
    // must not leave a half-written program (or a truncated earlier copy) behind.
    std::uint32_t length = ReadDataBlockLength(position);
    if (!FitsInContainer(static_cast<std::uint64_t>(position) + kDataBlockHeaderSize, length))
        Raise("Error extracting module. ", target);

    cFile output;
    if (output.Create(target, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ) != 0) {
        output.Close();
        Raise("Error creating output file. ", target);
    }
    try {
        ScopedFileClose closer(output);
        std::int64_t dataPosition = static_cast<std::int64_t>(position) + kDataBlockHeaderSize;
        if (!Within(dataPosition) ||
            FFile.Seek(static_cast<std::int32_t>(dataPosition), FILE_BEGIN) != dataPosition)
            RaiseReadError();
        if (length != 0 && FFile.CopyTo(output, length) != 0)
            Raise("Error extracting module. ", target);
        // A failed close can lose the last bytes written; say so rather than run a broken copy.
        if (output.Close() != 0) Raise("Error extracting module. ", target);
    } catch (...) {
        // A copy cut short (a full disk) is no program, and nothing else records it.
        DeleteFileA(target);
        throw;
    }
}

void ssPak::ExtractModuleToTemp(std::int32_t position, const char* name, char* pathOut,
                                std::size_t pathOutSize) {
    char directory[kPathSize];
    DWORD directoryLength = GetTempPathA(kPathSize, directory);
    if (directoryLength == 0 || directoryLength >= kPathSize ||
        CharacterCount({directory, directoryLength}) >= kPathCharacters)
        Raise("Error creating output file. The temporary directory cannot be used.");
    ExtractModuleInto(position, directory, name, pathOut, pathOutSize);
}

void ssPak::ExtractModuleInto(std::int32_t position, const char* directory, const char* name,
                              char* pathOut, std::size_t pathOutSize) {
    char target[kPathSize];
    if (name) {
        if (!IsPlainModuleName(name)) Raise("File is corrupt. Invalid module name.");
        if (!JoinPath(target, sizeof target, directory, FromWindows1252(name).c_str()))
            Raise("Error creating output file. The path is too long.");
        if (pathOut && std::strlen(target) >= pathOutSize)
            Raise("Error creating output file. The path is too long.");
        ExtractModule(position, target);
    } else {
        if (!UniqueTempFileName(directory, "pak", target, sizeof target))
            Raise("Error creating output file. ", directory);
        try {
            if (pathOut && std::strlen(target) >= pathOutSize)
                Raise("Error creating output file. The path is too long.");
            ExtractModule(position, target);
        } catch (...) {
            // The unique file is ours alone, made a moment ago: nothing of the user's is lost.
            DeleteFileA(target);
            throw;
        }
    }
    if (pathOut) std::memcpy(pathOut, target, std::strlen(target) + 1);
}
