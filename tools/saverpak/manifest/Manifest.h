// The build manifest: a TOML file naming the modules, pictures, hot keys and settings of one
// saver. Relative file names in it are relative to the manifest's own folder. The README
// describes the format with an example.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "modules/slideshow/SlideshowSettings.h"

struct ManifestModule {
    std::filesystem::path File;       // embedded modules only
    std::optional<std::string> Name;  // ANSI; an external module's program path
    bool External = false;
    bool ForceMaximize = false;
    std::uint8_t ArgMethod = 0;
};

struct ManifestPicture {
    std::filesystem::path File;
};

struct ManifestKey {
    std::uint32_t Code = 0;
    std::uint8_t Function = 0;
    std::optional<std::string> Command;  // ANSI; shell-execute keys only
};

// [saver]: the saver's own name, version and icon, written into its resources. Texts are
// UTF-16 there, so any letter may be used; an entry left out takes its default at build time.
struct ManifestSaver {
    std::optional<std::u16string> Name, Description, Product, Company, Copyright;
    std::optional<std::string> Version;  // "1.2.3" or "1.2.3.4"
    std::optional<std::filesystem::path> Icon;
};

// The longest text [saver] takes, in UTF-16 units.
constexpr std::size_t kMaxSaverText = 255;

// [slideshow]: a saver of pictures, shown by our own module program Slideshow.exe. Its
// settings go into the saver's resource "SLIDESHOW"; First and Count are the build's to set.
struct ManifestSlideshow {
    std::vector<std::filesystem::path> Pictures;  // files and folders, as written
    SlideshowSettings Settings;
};
// A slideshow shows at most this many pictures.
constexpr std::size_t kMaxSlides = 10000;

struct Manifest {
    std::vector<ManifestModule> Modules;
    std::vector<ManifestPicture> Pictures;
    std::vector<ManifestKey> Keys;
    std::string Link;     // ANSI, at most 299 characters
    std::string Caption;  // ANSI, at most 255 characters
    std::uint32_t Music = 0;
    ManifestSaver Saver;
    std::optional<ManifestSlideshow> Slideshow;  // then Modules is empty
};

// The slideshow's pictures: each file named, and each folder's pictures (.png, .jpg, .jpeg,
// .bmp in any case) in the order of their names, not looking into folders inside it. Other
// files of a folder are passed over and named in one note to `notes`; hidden ones (a name
// starting with a dot) silently. Throws ToolError for a missing file or folder, a folder
// without pictures, or more than kMaxSlides pictures.
std::vector<std::filesystem::path> SlidePictures(const ManifestSlideshow& slideshow,
                                                 std::ostream& notes);

// Reads and checks a manifest; throws ToolError naming the manifest and the entry at fault.
Manifest LoadManifest(const std::filesystem::path& path);

// The same for manifest text that has no file; relative names resolve against `folder`.
Manifest ParseManifest(const std::string& text, const std::string& sourceName,
                       const std::filesystem::path& folder);
