// The hot-key table: up to 20 bindings of a virtual-key code to "exit and leave the module
// running" or to a shell command, filled from the container's key entries.
#pragma once

#include <cstdint>

#include "package/ssPak.h"

class ssPakKey {
public:
    static constexpr int kEntryCount = 20;

    struct Entry {
        std::uint32_t Key = 0;  // 0 marks a free entry
        std::uint8_t Function = kExitAndLeaveRunning;
        ssPakString Command;  // held by ShellExecute entries only
    };

    ssPakKey() = default;
    ~ssPakKey() { Clear(); }
    ssPakKey(const ssPakKey&) = delete;
    ssPakKey& operator=(const ssPakKey&) = delete;

    // The entry that holds `key` or else the first free one; raises when the table is full.
    int Allocate(std::uint32_t key) const;
    void AddExit(std::uint32_t key);
    void AddShellExecute(std::uint32_t key, const char* command);
    // Reads the key entry at `position` and adds it; a later entry for a key replaces an
    // earlier one.
    void LoadEntry(ssPak& pak, std::int32_t position);
    // The entry bound to `key`, or nullptr. Key 0 never matches: it only marks free entries.
    const Entry* Find(std::uint32_t key) const;
    int Count() const;
    void Clear();

    const Entry& operator[](int i) const { return FEntries[i]; }

private:
    Entry FEntries[kEntryCount];
};
