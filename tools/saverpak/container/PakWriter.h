// Lays out a container after a stub, in the record order the saver's files have always used:
// per module its Name, data block and descriptor; the module table; per picture its data block
// and descriptor; the content table; per hot key its command and entry; the key table; the
// settings block; the index; the trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/PakFormat.h"

using PakSink = std::function<void(const void* bytes, std::size_t count)>;

// The bytes of one data block, streamed into the container when it is written: `Write` appends
// exactly `Size` bytes to the output that the sink writes to, after what the sink has written.
struct PakData {
    std::uint32_t Size = 0;
    std::function<void()> Write;
};

struct PakModuleInput {
    std::optional<std::string> Name;  // absent: the saver picks a unique "pak" file name
    std::uint32_t Flags = 0;
    std::uint8_t ArgMethod = 0;
    std::optional<PakData> Data;  // embedded modules only
};

struct PakPictureInput {
    std::uint8_t Type = kPictureBmp;
    PakData Data;
    // The data block of an earlier picture, stored once for both; Data is then unused.
    std::optional<std::size_t> SameDataAs;
};

struct PakKeyInput {
    std::uint32_t Code = 0;
    std::uint8_t Function = kExitAndLeaveRunning;
    std::optional<std::string> Command;
};

struct PakInput {
    std::vector<PakModuleInput> Modules;
    std::vector<PakPictureInput> Pictures;
    std::vector<PakKeyInput> Keys;
    PakSettings Settings;
};

// The container's size in bytes.
std::uint64_t PakContainerSize(const PakInput& input);

// Writes the container for a stub of `stubSize` bytes (every position counts from the stub's
// first byte). The caller checks first that stub and container stay below 2 GiB.
void WritePakContainer(std::uint64_t stubSize, const PakInput& input, const PakSink& write);
