// The build manifest: a TOML file naming the modules, pictures, hot keys and settings of one
// saver. Relative file names in it are relative to the manifest's own folder. The README
// describes the format with an example.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

struct Manifest {
    std::vector<ManifestModule> Modules;
    std::vector<ManifestPicture> Pictures;
    std::vector<ManifestKey> Keys;
    std::string Link;     // ANSI, at most 299 characters
    std::string Caption;  // ANSI, at most 255 characters
    std::uint32_t Music = 0;
    ManifestSaver Saver;
};

// Reads and checks a manifest; throws ToolError naming the manifest and the entry at fault.
Manifest LoadManifest(const std::filesystem::path& path);

// The same for manifest text that has no file; relative names resolve against `folder`.
Manifest ParseManifest(const std::string& text, const std::string& sourceName,
                       const std::filesystem::path& folder);
