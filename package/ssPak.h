// The container reader: ssPak owns the open saver file and reads its records by position, and
// ssPakString is a text read from one of its string descriptors.
//
// Every failure raises std::runtime_error with the saver's own message; a message that names a
// file ends in one space followed directly by the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "package/PakFormat.h"
#include "support/File.h"
#include "support/Path.h"
#include "support/Platform.h"

class ssPak;

// What opening a file raises when it cannot be read or has no container at its end. The saver
// shows its message like any other; the build tool, pointed at a file by its user, says by the
// reason what is wrong in its own words.
class ssPakFileError : public std::runtime_error {
public:
    enum class Reason { CannotOpen, NoContainer };
    ssPakFileError(Reason reason, const std::string& message)
        : std::runtime_error(message), FReason(reason) {}
    Reason Why() const { return FReason; }

private:
    Reason FReason;
};

// An owned zero-terminated text, or none. None (a descriptor of Length 0) is not the same as an
// empty text.
class ssPakString {
public:
    ssPakString() = default;
    explicit ssPakString(const char* text) { Assign(text); }
    // Loads the string descriptor at `position`.
    ssPakString(ssPak& pak, std::int32_t position) { Load(pak, position); }
    ssPakString(ssPakString&&) noexcept = default;
    ssPakString& operator=(ssPakString&&) noexcept = default;
    ssPakString(const ssPakString&) = delete;
    ssPakString& operator=(const ssPakString&) = delete;

    void Assign(const char* text);
    void Load(ssPak& pak, std::int32_t position);
    void Clear();

    bool IsNone() const { return !FText; }
    // The text, or nullptr for none.
    const char* Text() const { return FText.get(); }
    // Bytes of text as stored (a stored text may hold zero bytes; Text() stops at the first).
    std::uint32_t Length() const { return FLength; }

private:
    std::unique_ptr<char[]> FText;
    std::uint32_t FLength = 0;
};

class ssPak {
public:
    ssPak() = default;
    // Does not close the file: owners call Close (or kwPak::Unbind) first.
    ~ssPak() = default;
    ssPak(const ssPak&) = delete;
    ssPak& operator=(const ssPak&) = delete;

    // Opens the file of `module` (nullptr = the running executable), finds the container's end
    // and checks its trailer.
    void Open(HMODULE module);
    // The same for a file named by its path; Open resolves the module's path and comes here.
    // The path may be longer than a path buffer where the file system allows it.
    void OpenPath(const char* path);
    void Close();
    bool IsOpen() const { return FFile.IsOpen(); }

    // Reads exactly `count` bytes at `position`, or raises "Error reading module file. ".
    void ReadRecord(std::int32_t position, void* buffer, std::uint32_t count);
    // Reads the uint32 at `position` and leaves the file just after it.
    std::uint32_t ReadDword(std::int32_t position);

    // Copies the data block at `position` into a new file `target`.
    void ExtractModule(std::int32_t position, const char* target);
    // Extracts into the temporary directory under `name` (a stored name, Windows-1252), or under
    // a new unique "pak" name when `name` is null; the chosen path goes to `pathOut` when it is
    // given.
    void ExtractModuleToTemp(std::int32_t position, const char* name, char* pathOut = nullptr,
                             std::size_t pathOutSize = 0);
    // The same into `directory` (a folder of the run's own).
    void ExtractModuleInto(std::int32_t position, const char* directory, const char* name,
                           char* pathOut = nullptr, std::size_t pathOutSize = 0);

    // Reads `length` bytes from `position` a piece at a time and hands each piece to `sink`;
    // memory stays flat whatever the length. Raises "Error reading module file. " as ReadRecord.
    using ByteSink = std::function<void(const std::uint8_t* bytes, std::uint32_t count)>;
    void StreamBytes(std::int32_t position, std::uint32_t length, const ByteSink& sink);

    // The length of the data block at `position`; the file is left on the block's first byte.
    std::uint32_t ReadDataBlockLength(std::int32_t position) { return ReadDword(position); }

    const char* Path() const { return FPath.c_str(); }
    const PakTrailer& Trailer() const { return FTrailer; }
    std::uint64_t FileSize() const { return FFileSize; }
    // Where the container ends: the end of the file, or the start of a signature's certificate
    // table less the signer's padding. The trailer is the 8 bytes before it.
    std::uint64_t ContainerEnd() const { return FContainerEnd; }
    // The certificate table that ends a signed file; nullopt for a file that is not signed.
    const std::optional<PeCertificateEntry>& Signature() const { return FSignature; }
    // Whether `length` bytes from `position` lie where container records may lie: inside the
    // file, before the container's end and after any certificate table inside the file.
    bool FitsInContainer(std::uint64_t position, std::uint64_t length) const {
        return position >= FContainerBegin && position <= FContainerEnd &&
               length <= FContainerEnd - position;
    }
    // The picture loader reads pictures straight through the file after ReadDword.
    cFile& File() { return FFile; }

    [[noreturn]] void RaiseReadError() const;

protected:
    std::string FPath;
    cFile FFile;
    PakTrailer FTrailer{0, 0};
    std::uint64_t FFileSize = 0;

private:
    void LocateContainer();
    std::uint64_t EndBeforePadding(std::uint32_t tableStart);
    // Whether a PakIndex's size stands at `indexOffset`, before a trailer ending at `containerEnd`.
    bool IndexLiesAt(std::uint32_t indexOffset, std::uint64_t containerEnd);

    std::uint64_t FContainerBegin = 0;
    std::uint64_t FContainerEnd = 0;
    std::optional<PeCertificateEntry> FSignature;
};
