// The saver as its author's product: `build` writes the [saver] name, version and icon into
// the stub's resources, and refuses a stub that is not the saver program.
//
// How: the stub's resource tree is read whole, the version resource, string 1 (the name the
// Screen Saver Settings list shows for an 8.3 file name) and the first icon group with its
// icons are replaced, and every other resource (the close-saver dialog, the sound, the
// application manifest, the saver's marker) is kept byte for byte. The new tree goes into a new
// resource section after the stub's last byte; the data directory's resource entry and the
// image size are set for it, the old section stays where it is, unused. Only header fields
// change in the stub's own bytes, so nothing the linker laid out moves. The checksum is
// computed over the finished file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/saverpak/manifest/Manifest.h"
#include "tools/saverpak/stub/IconFile.h"
#include "tools/saverpak/stub/VersionInfo.h"

// Reads exactly `count` bytes of the stub from `position`; throws on a short read.
using StubReader = std::function<void(std::uint32_t position, void* buffer, std::size_t count)>;

// What a saver's resources say about it, as Explorer and the Screen Saver Settings list read
// them.
struct SaverResources {
    std::optional<std::u16string> Name;  // string resource 1
    std::optional<VersionInfo> Version;
    std::vector<IconGroupEntry> Icons;     // the first icon group
    bool Marker = false;                   // the saver program's marker resource
    std::optional<std::string> Slideshow;  // the slideshow's settings text, resource SLIDESHOW
};

struct BrandedStub {
    std::vector<std::uint8_t> Head;  // the stub's first bytes with the headers rewritten
    std::uint32_t CopyEnd = 0;       // the stub's bytes from Head's end to here follow as they are
    std::vector<std::uint8_t> Tail;  // padding and the new resource section
    std::uint32_t ChecksumPosition = 0;
    SaverResources Expected;  // what the saver's resources must say once built
    std::string IconNote;     // how an icon was made from a picture; "" for an .ico

    std::uint32_t Length() const { return CopyEnd + static_cast<std::uint32_t>(Tail.size()); }
};

// `head` is the stub's first bytes (at most 4 KiB, its certificate entry already cleared) and
// `length` its length without a certificate table. `icon` holds the [saver] icon file's bytes
// when it names one; `slideshowSettings`, a slideshow's settings text, becomes the resource
// "SLIDESHOW" (RCDATA, language neutral) that the slideshow program reads. Throws ToolError naming
// `stubName` for a stub that is not the saver program, already holds content, or cannot be read.
BrandedStub BrandStub(std::vector<std::uint8_t> head, std::uint32_t length, const StubReader& read,
                      const std::string& stubName, const ManifestSaver& saver,
                      const std::optional<std::vector<std::uint8_t>>& icon,
                      const std::filesystem::path& output,
                      const std::optional<std::string>& slideshowSettings = std::nullopt);

// Sets the image checksum of the finished file at `path` (summed by a PeChecksum as it was
// written).
void WriteImageChecksum(const std::filesystem::path& path, std::uint32_t checksumPosition,
                        std::uint32_t checksum);

// Reads a saver's resources; nullopt when the file is not a program image whose resources the
// tool can read. The checks of the build's read-back are in CheckSaverResources.
std::optional<SaverResources> ReadSaverResources(const std::filesystem::path& path);

// Throws FormatError saying what differs when the built file's resources are not
// `expected` or its resource tree does not read back as written.
void CheckSaverResources(const std::filesystem::path& path, const SaverResources& expected);

// What `list` shows of a saver's resources (as ReadSaverResources gives them): name, version and
// icon sizes. A file whose resources cannot be read shows none (null in JSON, no line in the
// table).
std::string SaverResourcesLine(const std::optional<SaverResources>& resources);
std::string SaverResourcesJson(const std::optional<SaverResources>& resources);  // a JSON value
