#include "package/kwPak.h"

#include <stdexcept>

void kwPak::Bind() {
    Open(nullptr);
    LoadIndex();
}

void kwPak::Bind(const char* path) {
    OpenPath(path);
    LoadIndex();
}

void kwPak::Unbind() noexcept {
    FModuleTable = {};
    FContentTable = {};
    FKeyPositionCount = 0;
    FKeys.Clear();
    Close();
}

void kwPak::LoadTable(std::uint32_t offset, std::uint32_t count,
                      std::vector<std::uint32_t>& table) {
    table = {};
    if (count == 0) return;
    // Counts come from the file: a table that cannot lie inside it is refused before any
    // memory is set aside for it (4,000,000,000 entries would otherwise ask for 16 GB).
    // The container ends before 2 GiB, so a table that fits in it has a 32-bit byte count.
    std::uint64_t bytes = static_cast<std::uint64_t>(count) * 4;
    if (offset > kMaxPakPosition || !FitsInContainer(offset, bytes)) RaiseReadError();
    table.resize(count);
    ReadRecord(static_cast<std::int32_t>(offset), table.data(), static_cast<std::uint32_t>(bytes));
    for (std::uint32_t& entry : table)
        entry = LoadLe32(reinterpret_cast<const std::uint8_t*>(&entry));
}

void kwPak::LoadIndex() {
    try {
        std::uint8_t indexBytes[kPakIndexSize];
        if (Trailer().IndexOffset > kMaxPakPosition) RaiseReadError();
        ReadRecord(static_cast<std::int32_t>(Trailer().IndexOffset), indexBytes, kPakIndexSize);
        FIndex = PakIndex::Decode(indexBytes);
        if (FIndex.StructSize != kPakIndexSize)
            throw std::runtime_error("File is corrupt, invalid record size in PakIndex.");

        LoadTable(FIndex.ModuleTableOffset, FIndex.ModuleCount, FModuleTable);
        LoadTable(FIndex.ContentTableOffset, FIndex.ContentCount, FContentTable);

        FKeyPositionCount = 0;
        if (FIndex.KeyCount != 0) {
            // Only 32 key-entry positions are kept.
            if (FIndex.KeyCount > kMaxKeyEntries)
                throw std::runtime_error("File is corrupt. Too many entries in key table.");
            std::vector<std::uint32_t> positions;
            LoadTable(FIndex.KeyTableOffset, FIndex.KeyCount, positions);
            for (std::uint32_t i = 0; i < FIndex.KeyCount; ++i) FKeyPositions[i] = positions[i];
            FKeyPositionCount = FIndex.KeyCount;
            for (std::uint32_t i = 0; i < FKeyPositionCount; ++i)
                FKeys.LoadEntry(*this, static_cast<std::int32_t>(FKeyPositions[i]));
        }

        std::uint8_t settingsBytes[kSettingsSize];
        if (FIndex.SettingsOffset > kMaxPakPosition) RaiseReadError();
        ReadRecord(static_cast<std::int32_t>(FIndex.SettingsOffset), settingsBytes, kSettingsSize);
        FSettings = PakSettings::Decode(settingsBytes);
        // Both texts are meant to end inside their fields; a block that does not would send
        // the dialog's label and shell call reading past them.
        FSettings.URLLink[kUrlLinkSize - 1] = '\0';
        FSettings.URLCaption[kUrlCaptionSize - 1] = '\0';
    } catch (...) {
        Close();
        throw;
    }
}
