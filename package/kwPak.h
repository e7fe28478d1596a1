// The bound container of the saver's own executable: index, module and content tables, hot keys
// and settings, loaded once by Bind and kept until Unbind.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "package/PakFormat.h"
#include "package/ssPak.h"
#include "package/ssPakKey.h"

class kwPak : public ssPak {
public:
    kwPak() = default;
    // Empties the keys and frees the tables; does not close the file (Unbind first).
    ~kwPak() = default;

    // Binds the container appended to the running executable.
    void Bind();
    // Binds the container of any saver file; Bind() resolves its own path and comes here.
    void Bind(const char* path);
    // Frees the tables, empties the keys and closes the file; index and settings stay.
    void Unbind() noexcept;

    const PakIndex& Index() const { return FIndex; }
    // Empty when the count is 0 or nothing is bound.
    std::span<const std::uint32_t> ModuleTable() const { return FModuleTable; }
    std::span<const std::uint32_t> ContentTable() const { return FContentTable; }
    std::span<const std::uint32_t> KeyPositions() const {
        return {FKeyPositions, FKeyPositionCount};
    }
    const ssPakKey& Keys() const { return FKeys; }

    const PakSettings& Settings() const { return FSettings; }
    const char* URLLink() const { return FSettings.URLLink; }
    const char* URLCaption() const { return FSettings.URLCaption; }
    std::uint32_t Music() const { return FSettings.Music; }

private:
    void LoadIndex();
    void LoadTable(std::uint32_t offset, std::uint32_t count, std::vector<std::uint32_t>& table);

    PakIndex FIndex{0, 0, 0, 0, 0, 0, 0, 0};
    ssPakKey FKeys;
    std::vector<std::uint32_t> FModuleTable;
    std::uint32_t FKeyPositions[kMaxKeyEntries] = {};
    std::uint32_t FKeyPositionCount = 0;
    std::vector<std::uint32_t> FContentTable;
    PakSettings FSettings;
};

// Keeps a container bound for one scope: unbinds it on every way out, a failed Bind included.
class ScopedUnbind {
public:
    explicit ScopedUnbind(kwPak& pak) : FPak(pak) {}
    ~ScopedUnbind() { FPak.Unbind(); }
    ScopedUnbind(const ScopedUnbind&) = delete;
    ScopedUnbind& operator=(const ScopedUnbind&) = delete;

private:
    kwPak& FPak;
};
