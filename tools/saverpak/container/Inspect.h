// What the saver's reader sees in a saver file: every record with its absolute position and
// size. list prints it, verify and extract are built on it. All reading goes through the
// saver's own reader (kwPak and friends), so a file the tool accepts is one the saver accepts,
// and a refusal carries the saver's own message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/PakFormat.h"

struct PakSpan {
    std::uint64_t Position = 0;
    std::uint64_t Size = 0;
};

struct PakStringInfo {
    PakSpan Span;
    std::uint32_t Length = 0;
    std::optional<std::string> Text;  // as stored (ANSI); nullopt for an absent string
};

struct PakDataInfo {
    PakSpan Span;
    std::uint32_t Length = 0;
};

struct PakModuleInfo {
    PakSpan Span;
    PakModuleDescriptor Descriptor;
    PakStringInfo Name;
    std::optional<PakDataInfo> Data;  // embedded modules only
};

struct PakPictureInfo {
    PakSpan Span;
    PakPictureDescriptor Descriptor;
    PakDataInfo Data;
};

struct PakKeyInfo {
    PakSpan Span;
    PakKeyEntry Entry;
    std::optional<PakStringInfo> Command;  // shell-execute entries only
};

struct PakTableInfo {
    PakSpan Span;  // size 0 when the count is 0
    std::vector<std::uint32_t> Entries;
};

struct PakReport {
    std::string Path;
    std::uint64_t FileSize = 0;
    std::uint64_t ContainerStart = 0;  // the lowest position of any record
    std::optional<PakSpan> Signature;  // the certificate table of a signed saver
    PakSpan TrailerSpan;
    PakTrailer Trailer;
    PakSpan IndexSpan;
    PakIndex Index;
    PakTableInfo ModuleTable;
    PakTableInfo ContentTable;
    PakTableInfo KeyTable;
    std::vector<PakModuleInfo> Modules;
    std::vector<PakPictureInfo> Pictures;
    std::vector<PakKeyInfo> Keys;
    PakSpan SettingsSpan;
    PakSettings Settings;
};

// How much of a saver InspectPak reads beyond its records.
enum class InspectDepth {
    Records,     // every descriptor and string, and every data block's extent (list, build)
    Everything,  // and every picture decoded with the saver's own picture code, and every
                 // module's data block read whole, as extraction reads it (verify)
};

// Binds the file with the saver's reader and reads it to `depth`. Throws std::runtime_error with
// the saver's message on the first fault.
PakReport InspectPak(const std::string& path, InspectDepth depth);
